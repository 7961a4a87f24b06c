#include "video/graphics_capturer_wgc.h"

#include <dxgi.h>

#include "base/logger.h"
#include "video/graphics_capture_factories_wgc.h"

namespace orvane {
namespace {

unsigned long Hex(HRESULT hr) {
  return static_cast<unsigned long>(hr);
}

bool IsLostDevice(HRESULT hr) {
  return hr == DXGI_ERROR_ACCESS_LOST || hr == DXGI_ERROR_SESSION_DISCONNECTED;
}

// The session and the pool stop capturing only when closed, not when released.
template <class T>
void CloseAndReset(ComRef<T>& object) {
  ComRef<wgc_abi::IClosable> closable;
  if (SUCCEEDED(object.QueryTo(wgc_abi::kIidClosable, closable))) {
    closable->Close();
  }
  object.Reset();
}

}  // namespace

bool WgcCapturer::CreateDevice() {
  HRESULT hr = CreateBgraCaptureDevice(nullptr, device_, context_);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] WGC D3D11 device creation failed: 0x%08lX", Hex(hr));
    return false;
  }
  ComRef<IDXGIDevice> dxgi_device;
  hr = device_.QueryTo(__uuidof(IDXGIDevice), dxgi_device);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] WGC failed to query IDXGIDevice: 0x%08lX", Hex(hr));
    return false;
  }
  ComRef<IInspectable> graphics_device;
  hr = CreateDirect3D11DeviceFromDXGIDevice(dxgi_device.get(), graphics_device.Put());
  if (FAILED(hr) || !graphics_device) {
    LOG_ERROR("[Capture] CreateDirect3D11DeviceFromDXGIDevice failed: 0x%08lX", Hex(hr));
    return false;
  }
  hr = graphics_device.QueryTo(wgc_abi::kIidDirect3DDevice, d3d_device_);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] CreateDirect3D11DeviceFromDXGIDevice failed: 0x%08lX", Hex(hr));
    return false;
  }
  return true;
}

HRESULT WgcCapturer::StartSession(HMONITOR monitor, bool& item_created) {
  item_created = false;
  ComRef<wgc_abi::IGraphicsCaptureItemInterop> interop;
  HRESULT hr = GraphicsCaptureItemInterop(interop);
  if (SUCCEEDED(hr)) {
    hr = interop->CreateForMonitor(monitor, wgc_abi::kIidGraphicsCaptureItem, item_.PutVoid());
  }
  if (FAILED(hr) || !item_) {
    return FAILED(hr) ? hr : E_POINTER;
  }
  item_created = true;
  wgc_abi::SizeInt32 size{};
  hr = item_->get_Size(&size);
  if (FAILED(hr)) {
    return hr;
  }
  ComRef<wgc_abi::IDirect3D11CaptureFramePoolStatics2> pools;
  hr = CaptureFramePoolStatics(pools);
  if (FAILED(hr)) {
    return hr;
  }
  hr = pools->CreateFreeThreaded(d3d_device_.get(),
                                 wgc_abi::DirectXPixelFormat::kB8G8R8A8UIntNormalized, 2, size,
                                 frame_pool_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  hr = frame_pool_->CreateCaptureSession(item_.get(), session_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  return session_->StartCapture();
}

bool WgcCapturer::Initialize(uint32_t monitor_index, uint32_t width, uint32_t height) {
  Release();
  const HRESULT support = GraphicsCaptureSupport();
  if (FAILED(support)) {
    LOG_ERROR("[Capture] WGC initialization failed: 0x%08lX", Hex(support));
    return false;
  }
  if (!CreateDevice()) {
    Release();
    return false;
  }
  HMONITOR monitor = MonitorAtIndex(monitor_index);
  if (monitor == nullptr) {
    LOG_WARN("[Capture] WGC monitor index %u unavailable, falling back to primary monitor",
             monitor_index);
    monitor = MonitorAtIndex(0);
    if (monitor == nullptr) {
      LOG_ERROR("[Capture] WGC failed to resolve monitor for capture");
      Release();
      return false;
    }
  }
  bool item_created = false;
  const HRESULT hr = StartSession(monitor, item_created);
  if (!item_created) {
    LOG_ERROR("[Capture] WGC CreateForMonitor failed: 0x%08lX", Hex(hr));
    Release();
    return false;
  }
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] WGC initialization failed: 0x%08lX", Hex(hr));
    Release();
    return false;
  }
  wgc_abi::SizeInt32 size{};
  item_->get_Size(&size);
  LOG_INFO("[Capture] Windows Graphics Capture initialized (monitor=%u, %ux%u)", monitor_index,
           width != 0 ? width : static_cast<uint32_t>(size.Width),
           height != 0 ? height : static_cast<uint32_t>(size.Height));
  return true;
}

CaptureStatus WgcCapturer::CaptureInto(CapturedFrame& frame, HRESULT& runtime_error) {
  ComRef<wgc_abi::IDirect3D11CaptureFrame> captured;
  runtime_error = frame_pool_->TryGetNextFrame(captured.Put());
  if (FAILED(runtime_error)) {
    return CaptureStatus::kFailed;
  }
  if (!captured) {
    return CaptureStatus::kNoNewFrame;
  }
  ComRef<wgc_abi::IDirect3DSurface> surface;
  runtime_error = captured->get_Surface(surface.Put());
  if (FAILED(runtime_error) || !surface) {
    return CaptureStatus::kFailed;
  }
  ComRef<wgc_abi::IDirect3DDxgiInterfaceAccess> access;
  HRESULT hr = surface.QueryTo(wgc_abi::kIidDirect3DDxgiInterfaceAccess, access);
  if (FAILED(hr)) {
    LOG_WARN("[Capture] WGC surface QueryInterface(IDirect3DDxgiInterfaceAccess) failed: 0x%08lX",
             Hex(hr));
    return CaptureStatus::kFailed;
  }
  ComRef<ID3D11Texture2D> texture;
  hr = access->GetInterface(__uuidof(ID3D11Texture2D), texture.PutVoid());
  if (FAILED(hr) || !texture) {
    LOG_WARN("[Capture] WGC surface to ID3D11Texture2D failed: 0x%08lX", Hex(hr));
    return CaptureStatus::kFailed;
  }
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  if (desc.Width == 0 || desc.Height == 0) {
    return CaptureStatus::kFailed;
  }
  bool created = false;
  hr = staging_.Ensure(*device_.get(), desc, created);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] WGC staging texture creation failed: 0x%08lX", Hex(hr));
    return CaptureStatus::kFailed;
  }
  staging_.Copy(*context_.get(), *texture.get());
  hr = staging_.Map(*context_.get(), frame);
  if (FAILED(hr)) {
    LOG_WARN("[Capture] WGC staging map failed: 0x%08lX", Hex(hr));
    return CaptureStatus::kFailed;
  }
  return CaptureStatus::kFrameReady;
}

CapturedFrame WgcCapturer::Capture(uint32_t /*wait_ms*/) {
  CapturedFrame frame;
  staging_.Unmap(context_.get());
  if (!frame_pool_) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  HRESULT runtime_error = S_OK;
  frame.status = CaptureInto(frame, runtime_error);
  if (FAILED(runtime_error)) {
    if (IsLostDevice(runtime_error)) {
      frame.status = CaptureStatus::kInvalidated;
    } else {
      LOG_WARN("[Capture] WGC capture failed: 0x%08lX", Hex(runtime_error));
    }
  }
  return frame;
}

void WgcCapturer::Release() {
  staging_.Unmap(context_.get());
  CloseAndReset(session_);
  CloseAndReset(frame_pool_);
  item_.Reset();
  d3d_device_.Reset();
  staging_.Release(context_.get());
  context_.Reset();
  device_.Reset();
}

}  // namespace orvane
