#include "video/graphics_capture_factories_wgc.h"

#include <objbase.h>
#include <roapi.h>

#include <mutex>
#include <string_view>

namespace orvane {
namespace {

std::mutex factories_mutex;

HRESULT ActivationFactory(std::wstring_view class_name, REFIID iid, void** factory) {
  HSTRING_HEADER header{};
  HSTRING name = nullptr;
  HRESULT hr = WindowsCreateStringReference(class_name.data(),
                                            static_cast<UINT32>(class_name.size()), &header, &name);
  if (FAILED(hr)) {
    return hr;
  }
  return RoGetActivationFactory(name, iid, factory);
}

template <class T>
HRESULT KeptFactory(ComRef<T>& kept, std::wstring_view class_name, REFIID iid, ComRef<T>& out) {
  const std::lock_guard<std::mutex> lock(factories_mutex);
  if (!kept) {
    const HRESULT hr = ActivationFactory(class_name, iid, kept.PutVoid());
    if (FAILED(hr) || !kept) {
      kept.Reset();
      return FAILED(hr) ? hr : E_NOINTERFACE;
    }
  }
  out = kept;
  return S_OK;
}

// Joins the multithreaded apartment once per process; a failure leaves it to a later call.
void JoinMultithreadedApartmentOnce() {
  static std::mutex apartment_mutex;
  static bool joined = false;
  const std::lock_guard<std::mutex> lock(apartment_mutex);
  if (!joined) {
    joined = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  }
}

}  // namespace

HRESULT GraphicsCaptureItemInterop(ComRef<wgc_abi::IGraphicsCaptureItemInterop>& factory) {
  static ComRef<wgc_abi::IGraphicsCaptureItemInterop> kept;
  return KeptFactory(kept, wgc_abi::kGraphicsCaptureItemClass,
                     wgc_abi::kIidGraphicsCaptureItemInterop, factory);
}

HRESULT CaptureFramePoolStatics(ComRef<wgc_abi::IDirect3D11CaptureFramePoolStatics2>& factory) {
  static ComRef<wgc_abi::IDirect3D11CaptureFramePoolStatics2> kept;
  return KeptFactory(kept, wgc_abi::kCaptureFramePoolClass,
                     wgc_abi::kIidDirect3D11CaptureFramePoolStatics2, factory);
}

HRESULT GraphicsCaptureAccessStatics(ComRef<wgc_abi::IGraphicsCaptureAccessStatics>& factory) {
  static ComRef<wgc_abi::IGraphicsCaptureAccessStatics> kept;
  return KeptFactory(kept, wgc_abi::kGraphicsCaptureAccessClass,
                     wgc_abi::kIidGraphicsCaptureAccessStatics, factory);
}

GraphicsCaptureRuntime GraphicsCaptureRuntime::System() {
  GraphicsCaptureRuntime runtime;
  runtime.support = GraphicsCaptureSupport;
  runtime.item_interop = GraphicsCaptureItemInterop;
  runtime.frame_pools = CaptureFramePoolStatics;
  runtime.access = GraphicsCaptureAccessStatics;
  runtime.direct3d_device = [](IDXGIDevice* dxgi_device, ComRef<IInspectable>& device) {
    return CreateDirect3D11DeviceFromDXGIDevice(dxgi_device, device.Put());
  };
  return runtime;
}

HRESULT GraphicsCaptureSupport() {
  JoinMultithreadedApartmentOnce();
  ComRef<wgc_abi::IGraphicsCaptureSessionStatics> statics;
  HRESULT hr = ActivationFactory(wgc_abi::kGraphicsCaptureSessionClass,
                                 wgc_abi::kIidGraphicsCaptureSessionStatics, statics.PutVoid());
  if (FAILED(hr) || !statics) {
    return FAILED(hr) ? hr : E_NOINTERFACE;
  }
  boolean supported = 0;
  hr = statics->IsSupported(&supported);
  if (FAILED(hr)) {
    return hr;
  }
  return supported != 0 ? S_OK : E_NOTIMPL;
}

}  // namespace orvane
