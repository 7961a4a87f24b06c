#include "video/graphics_capturer_wgc.h"

#include <dxgi.h>

#include <utility>

#include "base/logger.h"

namespace orvane {
namespace {

unsigned long Hex(HRESULT hr) {
  return static_cast<unsigned long>(hr);
}

constexpr wgc_abi::DirectXPixelFormat kPixelFormat =
    wgc_abi::DirectXPixelFormat::kB8G8R8A8UIntNormalized;
constexpr INT32 kBuffers = 2;

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
  hr = runtime_.direct3d_device(dxgi_device.get(), graphics_device);
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
  HRESULT hr = runtime_.item_interop(interop);
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
  hr = runtime_.frame_pools(pools);
  if (FAILED(hr)) {
    return hr;
  }
  hr =
      pools->CreateFreeThreaded(d3d_device_.get(), kPixelFormat, kBuffers, size, frame_pool_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  pool_size_ = size;
  hr = frame_pool_->CreateCaptureSession(item_.get(), session_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  ConfigureSession();
  WatchItemClosed();
  return session_->StartCapture();
}

// The border is the system's and cannot be switched off without the user's consent; the
// request asks for it (once granted, it is not asked again) and is not waited for: until
// it is answered the border stays. Windows before build 20348 has no such request.
void WgcCapturer::RequestBorderlessCapture() {
  if (borderless_requested_) {
    return;
  }
  borderless_requested_ = true;
  ComRef<wgc_abi::IGraphicsCaptureAccessStatics> access;
  ComRef<IInspectable> operation;
  if (FAILED(runtime_.access(access)) ||
      FAILED(access->RequestAccessAsync(wgc_abi::GraphicsCaptureAccessKind::kBorderless,
                                        operation.Put()))) {
    LOG_INFO("[Capture] WGC borderless capture is not available on this system");
  }
}

// The cursor is sent to the client on its own; drawn into the frames as well, it would
// show twice. Older systems lack these settings and capture as they always did.
void WgcCapturer::ConfigureSession() {
  ComRef<wgc_abi::IGraphicsCaptureSession2> cursor_setting;
  if (FAILED(session_.QueryTo(wgc_abi::kIidGraphicsCaptureSession2, cursor_setting)) ||
      FAILED(cursor_setting->put_IsCursorCaptureEnabled(false))) {
    LOG_INFO("[Capture] WGC cannot leave the cursor out of its frames on this system");
  }
  ComRef<wgc_abi::IGraphicsCaptureSession3> border_setting;
  if (SUCCEEDED(session_.QueryTo(wgc_abi::kIidGraphicsCaptureSession3, border_setting))) {
    border_setting->put_IsBorderRequired(false);
  }
}

void WgcCapturer::WatchItemClosed() {
  ComRef<CaptureItemClosedFlag> flag = CaptureItemClosedFlag::Create();
  const HRESULT hr = item_->add_Closed(flag.get(), &item_closed_token_);
  if (FAILED(hr)) {
    LOG_WARN("[Capture] WGC cannot watch its monitor for removal: 0x%08lX", Hex(hr));
    return;
  }
  item_closed_ = flag;
}

bool WgcCapturer::Initialize(uint32_t monitor_index, uint32_t width, uint32_t height) {
  Release();
  const HRESULT support = runtime_.support();
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
  RequestBorderlessCapture();
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

// The pool queues frames while nobody polls; only the newest shows the screen as it is.
// Each older frame is released at once, which also hands its buffer back to the pool.
HRESULT WgcCapturer::NewestFrame(ComRef<wgc_abi::IDirect3D11CaptureFrame>& newest) {
  for (;;) {
    ComRef<wgc_abi::IDirect3D11CaptureFrame> next;
    const HRESULT hr = frame_pool_->TryGetNextFrame(next.Put());
    if (FAILED(hr)) {
      return hr;
    }
    if (!next) {
      return S_OK;
    }
    newest = std::move(next);
  }
}

CaptureStatus WgcCapturer::CaptureInto(CapturedFrame& frame, HRESULT& runtime_error) {
  ComRef<wgc_abi::IDirect3D11CaptureFrame> captured;
  runtime_error = NewestFrame(captured);
  if (FAILED(runtime_error)) {
    return CaptureStatus::kFailed;
  }
  if (!captured) {
    return CaptureStatus::kNoNewFrame;
  }
  // After a change of the monitor's size the pool's buffers keep the old one, cropping or
  // padding the picture, until the pool is made again for the new size. The frame in hand
  // is such a buffer: it is dropped.
  wgc_abi::SizeInt32 content{};
  runtime_error = captured->get_ContentSize(&content);
  if (FAILED(runtime_error)) {
    return CaptureStatus::kFailed;
  }
  if (content.Width > 0 && content.Height > 0 &&
      (content.Width != pool_size_.Width || content.Height != pool_size_.Height)) {
    captured.Reset();
    runtime_error = frame_pool_->Recreate(d3d_device_.get(), kPixelFormat, kBuffers, content);
    if (FAILED(runtime_error)) {
      return CaptureStatus::kFailed;
    }
    pool_size_ = content;
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
  if (item_closed_ && item_closed_->raised()) {
    LOG_WARN("[Capture] WGC capture item closed: the monitor is gone");
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
  if (item_closed_) {
    item_->remove_Closed(item_closed_token_);
    item_closed_.Reset();
  }
  pool_size_ = {};
  item_.Reset();
  d3d_device_.Reset();
  staging_.Release(context_.get());
  context_.Reset();
  device_.Reset();
}

}  // namespace orvane
