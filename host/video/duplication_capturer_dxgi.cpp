#include "video/duplication_capturer_dxgi.h"

#include "base/logger.h"
#include "video/duplication_damage_dxgi.h"
#include "video/nv12_converter.h"

namespace orvane {
namespace {

// How often a start refused by another desktop is tried again while ours has the input.
constexpr uint64_t kDeniedRetryMs = 1000;

unsigned long Hex(HRESULT hr) {
  return static_cast<unsigned long>(hr);
}

}  // namespace

bool DxgiDuplicationCapturer::FindOutput(HMONITOR monitor, ComRef<IDXGIAdapter1>& adapter,
                                         ComRef<IDXGIOutput1>& output) {
  ComRef<IDXGIFactory1> factory;
  HRESULT hr = api_.create_factory(factory);
  if (FAILED(hr) || !factory) {
    LOG_ERROR("[Capture] No desktop output available for duplication: 0x%08lX",
              Hex(FAILED(hr) ? hr : E_POINTER));
    return false;
  }
  hr = DXGI_ERROR_NOT_FOUND;
  for (UINT adapter_index = 0; factory->EnumAdapters1(adapter_index, adapter.Put()) == S_OK;
       ++adapter_index) {
    ComRef<IDXGIOutput> candidate;
    for (UINT output_index = 0; adapter->EnumOutputs(output_index, candidate.Put()) == S_OK;
         ++output_index) {
      DXGI_OUTPUT_DESC desc{};
      if (FAILED(candidate->GetDesc(&desc)) || !desc.AttachedToDesktop ||
          (monitor != nullptr && desc.Monitor != monitor)) {
        continue;
      }
      hr = candidate.QueryTo(__uuidof(IDXGIOutput1), output);
      if (SUCCEEDED(hr)) {
        return true;
      }
    }
  }
  adapter.Reset();
  LOG_ERROR("[Capture] No desktop output available for duplication: 0x%08lX", Hex(hr));
  return false;
}

bool DxgiDuplicationCapturer::Initialize(uint32_t output_index, uint32_t width, uint32_t height) {
  Release();
  desktop_denied_ = false;
  last_start_ms_ = api_.tick_ms();
  // The index counts monitors as the other sources and the input mapping do.
  HMONITOR monitor = api_.monitor_at_index(output_index);
  if (monitor == nullptr) {
    LOG_WARN("[Capture] Output index %u unavailable, falling back to output 0", output_index);
    monitor = api_.monitor_at_index(0);
  }
  ComRef<IDXGIAdapter1> adapter;
  ComRef<IDXGIOutput1> output;
  if (!FindOutput(monitor, adapter, output)) {
    return false;
  }
  // Duplication takes only a device of the adapter the output is connected to.
  HRESULT hr = api_.create_device(adapter.get(), device_, context_);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] Failed to create D3D11 device for duplication: 0x%08lX", Hex(hr));
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
    desktop_denied_ = hr == E_ACCESSDENIED;
    Release();
    return false;
  }
  DXGI_OUTDUPL_DESC desc{};
  duplication_->GetDesc(&desc);
  rotation_ = RotationFromDxgi(desc.Rotation);
  if (rotation_ != FrameRotation::kNone) {
    LOG_INFO(
        "[Capture] Desktop Duplication output is rotated %u degrees; frames are turned upright",
        90u * static_cast<uint32_t>(rotation_));
  }
  LOG_INFO("[Capture] Desktop Duplication initialized (%ux%u)", width, height);
  return true;
}

bool DxgiDuplicationCapturer::ReadyToRetry() {
  return desktop_denied_ && api_.tick_ms() - last_start_ms_ >= kDeniedRetryMs &&
         api_.input_desktop_is_current();
}

void DxgiDuplicationCapturer::ReleaseFrame() {
  if (frame_held_ && duplication_) {
    duplication_->ReleaseFrame();
  }
  frame_held_ = false;
}

CapturedFrame DxgiDuplicationCapturer::Capture(uint32_t wait_ms) {
  CapturedFrame frame;
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
  // A desktop switch ends the duplication; so does a secure desktop that denies it.
  if (hr == DXGI_ERROR_INVALID_CALL || hr == DXGI_ERROR_ACCESS_LOST ||
      hr == DXGI_ERROR_SESSION_DISCONNECTED || hr == E_ACCESSDENIED) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  if (FAILED(hr) || !resource) {
    LOG_WARN("[Capture] AcquireNextFrame failed: 0x%08lX", Hex(hr));
    return frame;
  }
  frame_held_ = true;
  // Only the pointer moved: the image is the one already delivered.
  if (info.LastPresentTime.QuadPart == 0) {
    ReleaseFrame();
    frame.status = CaptureStatus::kNoNewFrame;
    return frame;
  }
  ComRef<ID3D11Texture2D> texture;
  if (FAILED(resource.QueryTo(__uuidof(ID3D11Texture2D), texture))) {
    ReleaseFrame();
    return frame;
  }
  ID3D11Texture2D* turned = nullptr;
  if (rotation_ != FrameRotation::kNone && !rotate_on_cpu_) {
    HRESULT error = S_OK;
    turned = gpu_rotator_.Rotate(*device_.get(), *context_.get(), rotation_, *texture.get(), error);
    if (turned == nullptr) {
      rotate_on_cpu_ = true;
      LOG_INFO("[Capture] No GPU rotation on this device (0x%08lX); turning frames on the CPU",
               Hex(error));
    }
  }
  ID3D11Texture2D* const image = turned != nullptr ? turned : texture.get();
  D3D11_TEXTURE2D_DESC desc{};
  image->GetDesc(&desc);
  if (desc.Width == 0 || desc.Height == 0) {
    ReleaseFrame();
    return frame;
  }
  // The last frame stays mapped (and readable) until this new one replaces it.
  staging_.Unmap(context_.get());
  bool created = false;
  hr = staging_.Ensure(*device_.get(), desc, created);
  if (FAILED(hr)) {
    LOG_ERROR("[Capture] Failed to create duplication staging texture: 0x%08lX", Hex(hr));
    ReleaseFrame();
    return frame;
  }
  const DamageCopyPlan plan = PlanCopy(info, desc, created);
  if (plan.whole) {
    staging_.Copy(*context_.get(), *image);
  } else {
    staging_.CopyRects(*context_.get(), *image, plan.rects);
  }
  // The copy is queued before the frame goes back; the desktop is free for the next one.
  ReleaseFrame();
  hr = staging_.Map(*context_.get(), frame);
  if (FAILED(hr)) {
    LOG_WARN("[Capture] Map on duplication staging texture failed: 0x%08lX", Hex(hr));
    nv12_.clear();
    return CapturedFrame{};
  }
  frame.status = CaptureStatus::kFrameReady;
  frame.protected_content_masked = info.ProtectedContentMaskedOut != 0;
  frame.kept_until_next_frame = true;
  if (rotation_ == FrameRotation::kNone) {
    frame.nv12 = ConvertChanged(frame, plan);
  }
  // The panel's image of a rotated monitor lies on its side.
  return turned != nullptr ? frame : RotateToUpright(frame, rotation_, upright_);
}

DamageCopyPlan DxgiDuplicationCapturer::PlanCopy(const DXGI_OUTDUPL_FRAME_INFO& info,
                                                 const D3D11_TEXTURE2D_DESC& desc, bool created) {
  // The rectangles are in the desktop image, which a rotated monitor's panel image is not.
  if (created || nv12_.empty() || rotation_ != FrameRotation::kNone) {
    return DamageCopyPlan{true, {}};
  }
  const auto damage = ReadFrameDamage(*duplication_.get(), info, metadata_);
  if (!damage) {
    return DamageCopyPlan{true, {}};
  }
  return PlanDamageCopy(*damage, 0, 0, desc.Width, desc.Height);
}

const uint8_t* DxgiDuplicationCapturer::ConvertChanged(const CapturedFrame& frame,
                                                       const DamageCopyPlan& plan) {
  const size_t luma = size_t{frame.width} * frame.height;
  bool converted = true;
  if (plan.whole) {
    nv12_.resize(luma + size_t{frame.width} * (frame.height / 2));
    converted = ConvertBgraToNv12(frame.data, frame.row_pitch, frame.width, frame.height,
                                  {nv12_.data(), frame.width, nv12_.data() + luma, frame.width});
  } else {
    // After every copy: a rectangle's chroma blocks may reach into its neighbour's pixels.
    for (const PixelRect& rect : plan.rects) {
      converted =
          ConvertBgraRectToNv12(frame.data, frame.row_pitch, frame.width, frame.height, rect,
                                {nv12_.data(), frame.width, nv12_.data() + luma, frame.width}) &&
          converted;
    }
  }
  if (!converted) {
    nv12_.clear();
    return nullptr;
  }
  return nv12_.data();
}

void DxgiDuplicationCapturer::Release() {
  staging_.Unmap(context_.get());
  nv12_.clear();
  ReleaseFrame();
  staging_.Release(context_.get());
  duplication_.Reset();
  gpu_rotator_.Release();
  rotate_on_cpu_ = false;
  rotation_ = FrameRotation::kNone;
  context_.Reset();
  device_.Reset();
}

}  // namespace orvane
