#include "app/platform_services.h"

#include "audio/loopback_audio_capture_wasapi.h"
#include "audio/opus_transform_mf.h"
#include "input/input_sink_win.h"
#include "services/clipboard_backend_win.h"
#include "video/cursor_source_win.h"
#include "video/duplication_capturer_dxgi.h"
#include "video/graphics_capturer_wgc.h"
#include "video/screen_copy_capturer_gdi.h"
#include "video/video_encoder_mf.h"

namespace orvane {

bool ExtendsThroughCapture(const std::string&) {
  return false;
}

bool IsWaylandSession() {
  return false;
}

PlatformServices CreatePlatformServices(const PlatformRequests&) {
  PlatformServices services;
  services.capturers = [] {
    ScreenCapturers sources;
    sources.push_back(std::make_unique<DxgiDuplicationCapturer>());
    sources.push_back(std::make_unique<WgcCapturer>());
    sources.push_back(std::make_unique<GdiScreenCopyCapturer>());
    return sources;
  };
  services.cursor_source = []() -> std::unique_ptr<CursorSource> {
    return std::make_unique<WinCursorSource>();
  };
  services.video_encoder = []() -> std::unique_ptr<VideoEncoder> {
    return std::make_unique<MfVideoEncoder>();
  };
  services.input_sink = []() -> std::unique_ptr<InputSink> {
    return std::make_unique<WindowsInputSink>();
  };
  services.audio_capture = CreateWasapiLoopbackCapture;
  services.opus_transform = CreateMfOpusTransform;
  services.clipboard = []() -> std::unique_ptr<ClipboardBackend> {
    return std::make_unique<WindowsClipboardBackend>();
  };
  return services;
}

}  // namespace orvane
