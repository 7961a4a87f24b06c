#pragma once

#include <windows.h>

#include <d3d11.h>
#include <dxgi1_2.h>

#include <utility>
#include <vector>

#include "platform/com_ref_win.h"
#include "video/capture_texture_d3d11.h"
#include "video/damage_copy.h"
#include "video/duplication_api_dxgi.h"
#include "video/frame_rotation.h"
#include "video/frame_rotator_d3d11.h"
#include "video/screen_capturer.h"

namespace orvane {

// DXGI Desktop Duplication of one monitor, found by its EnumDisplayMonitors index on
// whichever adapter drives it. Frames have the monitor's desktop size and stand upright
// on a rotated monitor; the staging copy stays mapped until the next new frame. Only what
// a frame's dirty and move rectangles name is copied from the GPU and converted to NV12.
class DxgiDuplicationCapturer : public ScreenCapturer {
 public:
  explicit DxgiDuplicationCapturer(DuplicationApi api = DuplicationApi::System())
      : api_(std::move(api)) {}
  ~DxgiDuplicationCapturer() override { Release(); }
  DxgiDuplicationCapturer(const DxgiDuplicationCapturer&) = delete;
  DxgiDuplicationCapturer& operator=(const DxgiDuplicationCapturer&) = delete;

  const char* name() const override { return "dxgi"; }
  const char* description() const override { return "Desktop Duplication"; }
  const char* tray_title() const override { return "DXGI"; }
  const char* known_limitation() const override {
    return "Desktop Duplication may contend with other capture apps in same session";
  }
  bool ReadyToRetry() override;

  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

 private:
  // The output showing `monitor` and its adapter, searched over every adapter.
  bool FindOutput(HMONITOR monitor, ComRef<IDXGIAdapter1>& adapter, ComRef<IDXGIOutput1>& output);
  void ReleaseFrame();
  // The whole image, or the rectangles the held frame changed.
  DamageCopyPlan PlanCopy(const DXGI_OUTDUPL_FRAME_INFO& info, const D3D11_TEXTURE2D_DESC& desc,
                          bool created);
  // Brings the kept NV12 picture up to date with the mapped frame; null when it cannot.
  const uint8_t* ConvertChanged(const CapturedFrame& frame, const DamageCopyPlan& plan);

  DuplicationApi api_;
  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
  ComRef<IDXGIOutputDuplication> duplication_;
  StagingReadback staging_;
  FrameRotation rotation_ = FrameRotation::kNone;
  // A rotated monitor's image is turned on the GPU until the device fails to, then on
  // the CPU.
  D3d11FrameRotator gpu_rotator_;
  bool rotate_on_cpu_ = false;
  std::vector<uint8_t> upright_;
  std::vector<uint8_t> nv12_;
  std::vector<uint8_t> metadata_;
  bool frame_held_ = false;
  // The last start was refused because another desktop (secure desktop, lock screen)
  // had the input; when it started.
  bool desktop_denied_ = false;
  uint64_t last_start_ms_ = 0;
};

}  // namespace orvane
