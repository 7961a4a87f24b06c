#pragma once

#include <atomic>

#include "platform/com_ref_win.h"
#include "video/graphics_capture_abi_wgc.h"

namespace orvane {

// The handler of a capture item's Closed event, raised when the item's monitor goes away.
// Windows may call it on any thread, so it only raises a flag that the capture reads.
class CaptureItemClosedFlag final : public wgc_abi::IGraphicsCaptureItemClosedHandler {
 public:
  static ComRef<CaptureItemClosedFlag> Create();

  bool raised() const { return raised_.load(); }

 private:
  CaptureItemClosedFlag();
  ~CaptureItemClosedFlag() = default;

  static HRESULT STDMETHODCALLTYPE Query(IGraphicsCaptureItemClosedHandler* self, REFIID iid,
                                         void** out);
  static ULONG STDMETHODCALLTYPE Hold(IGraphicsCaptureItemClosedHandler* self);
  static ULONG STDMETHODCALLTYPE Drop(IGraphicsCaptureItemClosedHandler* self);
  static HRESULT STDMETHODCALLTYPE Closed(IGraphicsCaptureItemClosedHandler* self,
                                          wgc_abi::IGraphicsCaptureItem*, IInspectable*);
  static const wgc_abi::IGraphicsCaptureItemClosedHandlerVtbl kVtbl;

  std::atomic<ULONG> references_{1};
  std::atomic<bool> raised_{false};
};

}  // namespace orvane
