#include "video/capture_item_closed_wgc.h"

namespace orvane {
namespace {

CaptureItemClosedFlag* Self(wgc_abi::IGraphicsCaptureItemClosedHandler* handler) {
  return static_cast<CaptureItemClosedFlag*>(handler);
}

}  // namespace

const wgc_abi::IGraphicsCaptureItemClosedHandlerVtbl CaptureItemClosedFlag::kVtbl = {
    {&CaptureItemClosedFlag::Query, &CaptureItemClosedFlag::Hold, &CaptureItemClosedFlag::Drop},
    &CaptureItemClosedFlag::Closed};

CaptureItemClosedFlag::CaptureItemClosedFlag() {
  vtbl = &kVtbl;
}

ComRef<CaptureItemClosedFlag> CaptureItemClosedFlag::Create() {
  ComRef<CaptureItemClosedFlag> flag;
  *flag.Put() = new CaptureItemClosedFlag();
  return flag;
}

HRESULT CaptureItemClosedFlag::Query(IGraphicsCaptureItemClosedHandler* self, REFIID iid,
                                     void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (iid == __uuidof(IUnknown) || iid == wgc_abi::kIidGraphicsCaptureItemClosedHandler ||
      iid == wgc_abi::kIidAgileObject) {
    *out = self;
    Hold(self);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG CaptureItemClosedFlag::Hold(IGraphicsCaptureItemClosedHandler* self) {
  return ++Self(self)->references_;
}

ULONG CaptureItemClosedFlag::Drop(IGraphicsCaptureItemClosedHandler* self) {
  const ULONG left = --Self(self)->references_;
  if (left == 0) {
    delete Self(self);
  }
  return left;
}

HRESULT CaptureItemClosedFlag::Closed(IGraphicsCaptureItemClosedHandler* self,
                                      wgc_abi::IGraphicsCaptureItem*, IInspectable*) {
  Self(self)->raised_ = true;
  return S_OK;
}

}  // namespace orvane
