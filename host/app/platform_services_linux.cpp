#include "app/platform_services.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "audio/loopback_audio_capture_pulse.h"
#include "base/logger.h"
#include "input/input_sink_linux.h"
#include "input/remote_desktop_input_sink.h"
#include "platform/app_folders.h"
#include "platform/x11/x11_display_source.h"
#include "services/clipboard_backend_x11.h"
#include "video/capture_backend_choice.h"
#include "video/chosen_video_encoder.h"
#include "video/cursor_source_x11.h"
#include "video/image_capturer_x11.h"
#include "video/linux_capture_choice.h"
#include "video/mutter_capturer_pipewire.h"
#include "video/portal_capturer_pipewire.h"
#include "video/shm_capturer_x11.h"
#include "video/stream_cursor_source.h"

namespace orvane {
namespace {

LinuxCaptureDecision DecideCapture(const std::string& choice,
                                   const MutterRemoteDesktop* mutter = nullptr) {
  LinuxDesktopFacts facts;
  facts.wayland_display = std::getenv("WAYLAND_DISPLAY");
  facts.session_type = std::getenv("XDG_SESSION_TYPE");
  facts.current_desktop = std::getenv("XDG_CURRENT_DESKTOP");
  // Asked of the bus only where it can change the answer.
  if (choice == kAutoCaptureSource && IsGnomeDesktop(facts.current_desktop)) {
    facts.mutter_on_bus = MutterRemoteDesktop::ServiceOnBus();
    facts.mutter_refused = mutter != nullptr && mutter->refused_last_start();
  }
  return ResolveLinuxCaptureChoice(choice, facts);
}

// Logs the capture decision when it is made for the first time or changes.
class CaptureDecisionLog {
 public:
  void Note(const LinuxCaptureDecision& decision) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (decision.source == last_source_) {
      return;
    }
    last_source_ = decision.source;
    LOG_INFO("[Capture] Linux capture: %s (%s)", decision.source.c_str(), decision.reason.c_str());
  }

  std::string Last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_source_;
  }

 private:
  std::mutex mutex_;
  std::string last_source_;
};

}  // namespace

bool ExtendsThroughCapture(const std::string& capture_choice) {
  return DecideCapture(capture_choice).source == kMutterCaptureSource;
}

bool IsWaylandSession() {
  return DecideCapture(kAutoCaptureSource).source != kX11CaptureSource;
}

PlatformServices CreatePlatformServices(const PlatformRequests& requests) {
  const EncoderChoice encoder = requests.encoder;
  PlatformServices services;
  // Every X user shares one connection to $DISPLAY.
  auto displays = std::make_shared<X11DisplaySource>();
  // One portal connection and permission for every stream; the stream's cursor reaches
  // the session's cursor tracker through the feed.
  auto portal = std::make_shared<PortalScreenCast>(AppDataFolder() / "screencast_restore_token");
  auto stream_cursor = std::make_shared<StreamCursorFeed>();
  // One Mutter session serves the screen cast and, without uinput, the input of a stream.
  auto mutter = std::make_shared<MutterRemoteDesktop>();
  const std::atomic<uint32_t>* virtual_monitor_size = requests.virtual_monitor_size;
  // What "auto" means here comes first: MIT-SHM of an XRandR monitor on X11, the
  // ScreenCast portal on Wayland (used only when chosen); a whole-screen GetImage when
  // nothing else starts.
  const bool wayland_first = IsWaylandSession();
  services.capturers = [displays, portal, mutter, stream_cursor, virtual_monitor_size,
                        wayland_first] {
    MutterRecording recording;
    if (virtual_monitor_size != nullptr) {
      const uint32_t size = virtual_monitor_size->load();
      recording.virtual_width = size >> 16;
      recording.virtual_height = size & 0xFFFF;
    }
    ScreenCapturers sources;
    auto x11 = std::make_unique<X11ShmCapturer>(displays);
    auto cast = std::make_unique<PortalCapturer>(portal, stream_cursor);
    auto gnome = std::make_unique<MutterCapturer>(mutter, stream_cursor, recording);
    if (wayland_first) {
      sources.push_back(std::move(gnome));
      sources.push_back(std::move(cast));
      sources.push_back(std::move(x11));
    } else {
      sources.push_back(std::move(x11));
      sources.push_back(std::move(cast));
      sources.push_back(std::move(gnome));
    }
    sources.push_back(std::make_unique<X11ImageCapturer>(displays));
    return sources;
  };
  auto decision_log = std::make_shared<CaptureDecisionLog>();
  services.capture_choice = [decision_log, mutter](const std::string& choice) {
    const LinuxCaptureDecision decision = DecideCapture(choice, mutter.get());
    decision_log->Note(decision);
    // X11's sources are what "auto" tries anyway, in order and without warnings; the
    // Wayland screen casts are tried only when named.
    return decision.source == kX11CaptureSource ? choice : decision.source;
  };
  services.cursor_source = [displays, stream_cursor]() -> std::unique_ptr<CursorSource> {
    return std::make_unique<StreamCursorSource>(stream_cursor, X11CursorSource::Open(*displays));
  };
  services.video_encoder = [encoder]() -> std::unique_ptr<VideoEncoder> {
    return std::make_unique<ChosenVideoEncoder>(encoder);
  };
  // Touch and pen through uinput where it may be opened; mouse and keys through XTest.
  // Where Mutter casts the screen and uinput is out of reach, everything goes through
  // Mutter's session instead: XTest would reach only the X clients of a Wayland desktop.
  services.input_sink = [displays, mutter, decision_log]() -> std::unique_ptr<InputSink> {
    std::unique_ptr<LinuxInputSink> sink = LinuxInputSink::Create(displays);
    if ((sink == nullptr || !sink->touch_available()) &&
        decision_log->Last() == kMutterCaptureSource) {
      LOG_INFO("[Input] No uinput; input goes through Mutter's remote-desktop session");
      return std::make_unique<RemoteDesktopInputSink>(mutter);
    }
    return sink;
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
