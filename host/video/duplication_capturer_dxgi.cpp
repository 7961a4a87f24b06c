#include "video/duplication_capturer_dxgi.h"

#include "base/logger.h"

namespace orvane {
namespace {

unsigned long Hex(HRESULT hr) {
  return static_cast<unsigned long>(hr);
}

}  // namespace

bool DxgiDuplicationCapturer::OpenOutput(uint32_t output_index, ComRef<IDXGIOutput1>& output) {
  ComRef<IDXGIFactory1> factory;
  HRESULT hr = api_.create_factory(factory);
  ComRef<IDXGIAdapter1> adapter;
  if (SUCCEEDED(hr)) {
    hr = factory->EnumAdapters1(0, adapter.Put());
  }
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] Failed to query IDXGIAdapter: 0x%08lX", Hex(hr));
    return false;
  }
  ComRef<IDXGIOutput> any_output;
  hr = adapter->EnumOutputs(output_index, any_output.Put());
  if (FAILED(hr) || !any_output) {
    LOG_WARN("[Capture] Output index %u unavailable, falling back to output 0", output_index);
    hr = adapter->EnumOutputs(0, any_output.Put());
    if (FAILED(hr) || !any_output) {
      LOG_ERROR("[Capture] No desktop output available for duplication: 0x%08lX", Hex(hr));
      return false;
    }
  }
  hr = any_output.QueryTo(__uuidof(IDXGIOutput1), output);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] Failed to query IDXGIOutput1: 0x%08lX", Hex(hr));
    return false;
  }
  return true;
}

bool DxgiDuplicationCapturer::Initialize(uint32_t output_index, uint32_t width, uint32_t height) {
  Release();
  HRESULT hr = api_.create_device(nullptr, device_, context_);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] Failed to create D3D11 device for duplication: 0x%08lX", Hex(hr));
    return false;
  }
  ComRef<IDXGIOutput1> output;
  if (!OpenOutput(output_index, output)) {
    Release();
    return false;
  }
  hr = output->DuplicateOutput(device_.get(), duplication_.Put());
  if (hr == DXGI_ERROR_NOT_CURRENTLY_AVAILABLE) {
    LOG_WARN(
        "[Capture] Desktop Duplication unavailable (possibly interface limit reached by other "
        "capture apps)");
    Release();
    return false;
  }
  if (FAILED(hr) || !duplication_) {
    LOG_ERROR("[Capture] DuplicateOutput failed: 0x%08lX", Hex(hr));
    Release();
    return false;
  }
  LOG_INFO("[Capture] Desktop Duplication initialized (%ux%u)", width, height);
  return true;
}

void DxgiDuplicationCapturer::ReleaseFrame() {
  if (frame_held_ && duplication_) {
    duplication_->ReleaseFrame();
  }
  frame_held_ = false;
}

CapturedFrame DxgiDuplicationCapturer::Capture(uint32_t wait_ms) {
  CapturedFrame frame;
  staging_.Unmap(context_.get());
  if (!duplication_) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  ReleaseFrame();
  DXGI_OUTDUPL_FRAME_INFO info{};
  ComRef<IDXGIResource> resource;
  HRESULT hr = duplication_->AcquireNextFrame(wait_ms, &info, resource.Put());
  if (hr == DXGI_ERROR_WAIT_TIMEOUT) {
    frame.status = CaptureStatus::kNoNewFrame;
    return frame;
  }
  if (hr == DXGI_ERROR_INVALID_CALL || hr == DXGI_ERROR_ACCESS_LOST ||
      hr == DXGI_ERROR_SESSION_DISCONNECTED) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  if (FAILED(hr) || !resource) {
    LOG_WARN("[Capture] AcquireNextFrame failed: 0x%08lX", Hex(hr));
    return frame;
  }
  frame_held_ = true;
  ComRef<ID3D11Texture2D> texture;
  if (FAILED(resource.QueryTo(__uuidof(ID3D11Texture2D), texture))) {
    ReleaseFrame();
    return frame;
  }
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  if (desc.Width == 0 || desc.Height == 0) {
    ReleaseFrame();
    return frame;
  }
  bool created = false;
  hr = staging_.Ensure(*device_.get(), desc, created);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] Failed to create duplication staging texture: 0x%08lX", Hex(hr));
    ReleaseFrame();
    return frame;
  }
  staging_.Copy(*context_.get(), *texture.get());
  // The copy is queued before the frame goes back; the desktop is free for the next one.
  ReleaseFrame();
  hr = staging_.Map(*context_.get(), frame);
  if (FAILED(hr)) {
    LOG_WARN("[Capture] Map on duplication staging texture failed: 0x%08lX", Hex(hr));
    return frame;
  }
  frame.status = CaptureStatus::kFrameReady;
  frame.protected_content_masked = info.ProtectedContentMaskedOut != 0;
  return frame;
}

void DxgiDuplicationCapturer::Release() {
  staging_.Unmap(context_.get());
  ReleaseFrame();
  staging_.Release(context_.get());
  duplication_.Reset();
  context_.Reset();
  device_.Reset();
}

}  // namespace orvane
