#include "app/platform_services.h"

#include "audio/loopback_audio_capture_pulse.h"
#include "input/input_sink_linux.h"
#include "platform/x11/x11_display_source.h"
#include "services/clipboard_backend_x11.h"
#include "video/chosen_video_encoder.h"
#include "video/cursor_source_x11.h"
#include "video/image_capturer_x11.h"
#include "video/shm_capturer_x11.h"

namespace orvane {

PlatformServices CreatePlatformServices(EncoderChoice encoder) {
  PlatformServices services;
  // Every X user shares one connection to $DISPLAY.
  auto displays = std::make_shared<X11DisplaySource>();
  // MIT-SHM of an XRandR monitor first; a whole-screen GetImage when nothing else starts.
  services.capturers = [displays] {
    ScreenCapturers sources;
    sources.push_back(std::make_unique<X11ShmCapturer>(displays));
    sources.push_back(std::make_unique<X11ImageCapturer>(displays));
    return sources;
  };
  services.cursor_source = [displays]() -> std::unique_ptr<CursorSource> {
    return X11CursorSource::Open(*displays);
  };
  services.video_encoder = [encoder]() -> std::unique_ptr<VideoEncoder> {
    return std::make_unique<ChosenVideoEncoder>(encoder);
  };
  // Touch and pen through uinput where it may be opened; mouse and keys through XTest.
  services.input_sink = [displays]() -> std::unique_ptr<InputSink> {
    return LinuxInputSink::Create(displays);
  };
  services.audio_capture = []() -> std::unique_ptr<LoopbackAudioCapture> {
    return std::make_unique<PulseLoopbackCapture>();
  };
  services.clipboard = [displays]() -> std::unique_ptr<ClipboardBackend> {
    return std::make_unique<X11ClipboardBackend>(displays);
  };
  return services;
}

}  // namespace orvane
