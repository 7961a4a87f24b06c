#pragma once

#include <windows.h>

#include <d3d11.h>

#include "platform/com_ref_win.h"
#include "video/capture_texture_d3d11.h"
#include "video/display_monitors_win.h"
#include "video/graphics_capture_abi_wgc.h"
#include "video/screen_capturer.h"

namespace orvane {

// Windows.Graphics.Capture of one monitor (EnumDisplayMonitors order) through a
// free-threaded frame pool that is polled, never waited on. Frames have the monitor's
// own size.
class WgcCapturer : public ScreenCapturer {
 public:
  WgcCapturer() = default;
  ~WgcCapturer() override { Release(); }
  WgcCapturer(const WgcCapturer&) = delete;
  WgcCapturer& operator=(const WgcCapturer&) = delete;

  const char* name() const override { return "wgc"; }
  const char* description() const override { return "WGC"; }
  const char* tray_title() const override {
    return available() ? "WGC (Beta)" : "WGC (Unavailable)";
  }

  bool Initialize(uint32_t monitor_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

 private:
  bool CreateDevice();
  // Steps that raise Windows Runtime errors: the item, the pool and the session.
  HRESULT StartSession(HMONITOR monitor, bool& item_created);
  CaptureStatus CaptureInto(CapturedFrame& frame, HRESULT& runtime_error);

  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
  StagingReadback staging_;
  ComRef<wgc_abi::IDirect3DDevice> d3d_device_;
  ComRef<wgc_abi::IGraphicsCaptureItem> item_;
  ComRef<wgc_abi::IDirect3D11CaptureFramePool> frame_pool_;
  ComRef<wgc_abi::IGraphicsCaptureSession> session_;
};

}  // namespace orvane
