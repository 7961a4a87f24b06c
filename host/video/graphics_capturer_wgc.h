#pragma once

#include <windows.h>

#include <d3d11.h>

#include <utility>

#include "platform/com_ref_win.h"
#include "video/capture_item_closed_wgc.h"
#include "video/capture_texture_d3d11.h"
#include "video/display_monitors_win.h"
#include "video/graphics_capture_abi_wgc.h"
#include "video/graphics_capture_factories_wgc.h"
#include "video/screen_capturer.h"

namespace orvane {

// Windows.Graphics.Capture of one monitor (EnumDisplayMonitors order) through a
// free-threaded frame pool that is polled, never waited on. Frames have the monitor's
// own size, follow it when it changes, and never show the cursor (it travels apart). Where
// Windows allows it the capture border is switched off. A monitor that goes away ends the
// capture as invalidated, so the selection moves on.
class WgcCapturer : public ScreenCapturer {
 public:
  explicit WgcCapturer(GraphicsCaptureRuntime runtime = GraphicsCaptureRuntime::System())
      : runtime_(std::move(runtime)) {}
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
  void RequestBorderlessCapture();
  void ConfigureSession();
  void WatchItemClosed();
  HRESULT NewestFrame(ComRef<wgc_abi::IDirect3D11CaptureFrame>& newest);
  CaptureStatus CaptureInto(CapturedFrame& frame, HRESULT& runtime_error);

  GraphicsCaptureRuntime runtime_;
  // Consent for a capture without border is asked once per capturer.
  bool borderless_requested_ = false;
  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
  StagingReadback staging_;
  ComRef<wgc_abi::IDirect3DDevice> d3d_device_;
  ComRef<wgc_abi::IGraphicsCaptureItem> item_;
  ComRef<wgc_abi::IDirect3D11CaptureFramePool> frame_pool_;
  ComRef<wgc_abi::IGraphicsCaptureSession> session_;
  // The size the pool's buffers were made for.
  wgc_abi::SizeInt32 pool_size_{};
  ComRef<CaptureItemClosedFlag> item_closed_;
  EventRegistrationToken item_closed_token_{};
};

}  // namespace orvane
