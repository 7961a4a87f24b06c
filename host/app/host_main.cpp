#include "app/host_main.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/console_control.h"
#include "app/host_console.h"
#include "app/library_log_bridges.h"
#include "app/platform_services.h"
#include "app/reconnect_loop.h"
#include "app/tray_actions.h"
#include "app/tray_icon.h"
#include "app/tray_texts.h"
#include "app/usb_route.h"
#include "base/logger.h"
#include "base/utf8_path.h"
#include "platform/app_folders.h"
#include "platform/clock.h"
#include "platform/extended_display.h"
#include "platform/platform_runtime.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "services/discovery_advertiser.h"

namespace orvane {
namespace {

// How long a relaunched host waits for the one it replaces to end.
constexpr uint32_t kPreviousHostWaitMs = 10000;

AppState& State() {
  static AppState state;
  return state;
}

const char* OnOff(bool flag) {
  return flag ? "on" : "off";
}

bool LogPlatformStartFailure(const PlatformStartResult& result) {
  using Step = PlatformStartResult::FailedStep;
  switch (result.failed_step) {
    case Step::kSockets:
      LOG_ERROR("[Main] WSAStartup failed");
      return true;
    case Step::kCom:
      LOG_ERROR("[Main] CoInitializeEx failed: 0x%08lX", static_cast<unsigned long>(result.hr));
      return true;
    case Step::kMediaFramework:
      LOG_ERROR("[Main] MFStartup failed: 0x%08lX", static_cast<unsigned long>(result.hr));
      return true;
    case Step::kNone:
      break;
  }
  return false;
}

// Without local discovery the phone must be given the host's address by hand.
void AnnounceManualIpMode(TrayIcon& tray) {
  LOG_INFO("[Main] mDNS registration failed -- manual IP entry required on mobile");
  tray.ShowNotification(kNotificationTitle, kManualIpNotice);
  tray.SetTooltip(kManualIpTooltip);
}

// A machine whose monitors cannot be counted is taken to have one; more than four count
// as four.
uint32_t CountedMonitors() {
  return std::clamp<uint32_t>(CountMonitors().value_or(1), 1, 4);
}

// The sources the tray offers: all but the last resorts, in the platform's order.
std::vector<TrayCaptureSource> TraySources(const std::vector<CaptureSourceInfo>& sources) {
  std::vector<TrayCaptureSource> offered;
  for (const CaptureSourceInfo& source : sources) {
    if (!source.last_resort) {
      offered.push_back({source.name, source.tray_title, source.available});
    }
  }
  return offered;
}

// The tray's "Extend the desktop" adds a monitor of the size --extend gave, or this one.
constexpr uint16_t kDefaultExtendWidth = 1920;
constexpr uint16_t kDefaultExtendHeight = 1080;

// Adds the extended display and notes its size for a background relaunch.
std::optional<uint32_t> AddExtendedDisplay(ExtendedDisplay& display, AppState& state,
                                           uint16_t width, uint16_t height) {
  // Xwayland would take an X11 monitor, but the compositor would show nothing on it.
  if (IsWaylandSession()) {
    LOG_WARN(
        "[Main] Cannot extend the desktop by %ux%u: this Wayland desktop adds no monitor "
        "for the host (GNOME's does, with --capture-backend auto or mutter); streaming the "
        "chosen monitor",
        width, height);
    return std::nullopt;
  }
  const std::optional<uint32_t> output = display.Add(width, height);
  if (output) {
    state.extended_size.store(uint32_t{width} << 16 | height);
  }
  return output;
}

// Asks the compositor for a virtual monitor of that size with every stream; `origin` is
// what asked (the option or the tray's item).
void ExtendThroughCapture(AppState& state, const char* origin, uint16_t width, uint16_t height) {
  const uint32_t size = uint32_t{width} << 16 | height;
  state.virtual_monitor_size.store(size);
  // Kept for a background relaunch like a monitor the host added itself.
  state.extended_size.store(size);
  LOG_INFO("[Main] %s %ux%u: the desktop adds a virtual monitor while a stream runs", origin, width,
           height);
}

void PrepareTray(TrayIcon& tray, AppState& state, const HostOptions& options,
                 const std::vector<CaptureSourceInfo>& capture_sources,
                 ExtendedDisplay& extended_display) {
  TrayModel& model = tray.model();
  model.SetOutputIndex(state.capture_output_index.load());
  model.SetMonitorCount(state.monitor_count.load());
  model.SetConnected(false);
  model.SetCaptureSources(TraySources(capture_sources));
  model.SetCaptureChoice(state.capture_backend.load());
  TrayActionServices services;
  services.notify = [&tray](const std::string& text) {
    tray.ShowNotification(kNotificationTitle, text);
  };
  services.prepare_usb_route = [options] { return UsbRoute().Setup(options); };
  services.open_console = ShowHostConsole;
  const uint16_t width = options.extend_width != 0 ? options.extend_width : kDefaultExtendWidth;
  const uint16_t height = options.extend_width != 0 ? options.extend_height : kDefaultExtendHeight;
  services.add_extended_display = [&extended_display, &state, width,
                                   height]() -> std::optional<uint32_t> {
    // Where the desktop's own virtual monitor extends it, the host adds none of its own.
    if (ExtendsThroughCapture(state.capture_backend.load())) {
      ExtendThroughCapture(state, "Extend the desktop", width, height);
      return state.capture_output_index.load();
    }
    return AddExtendedDisplay(extended_display, state, width, height);
  };
  services.remove_extended_display = [&extended_display, &state] {
    extended_display.Remove();
    state.virtual_monitor_size.store(0);
    state.extended_size.store(0);
  };
  services.count_monitors = CountedMonitors;
  model.SetExtend(ExtendsThroughCapture(state.capture_backend.load()) ||
                      (ExtendedDisplay::Supported() && !IsWaylandSession()),
                  state.extended_size.load() != 0);
  model.SetActions(MakeTrayActions(state, std::move(services)));
}

}  // namespace

int RunHost(int argc, const char* const* argv) {
  if (WantsUsage(argc, argv)) {
    std::fputs(CommandLineUsage(), stdout);
    return 0;
  }
  if (WantsVersion(argc, argv)) {
    std::printf("orvane-host %s\n", ORVANE_VERSION);
    return 0;
  }
  // Before anything starts a thread: describing the capture sources may already connect to
  // the session bus, whose worker thread would otherwise take Ctrl+C and SIGTERM with their
  // default action and end the host without its orderly stop.
  InstallConsoleEventHandler([](uint32_t event) { return HandleConsoleEvent(event, State()); });
  InstallLibraryLogBridges();
  AppState& state = State();
  Logger::Instance().Init("orvane", LoggerEnvironment{CurrentLocalTime, AppLogFolder, stdout});
  LOG_INFO("====================================");
  LOG_INFO("  Orvane Display Host v%s", ORVANE_VERSION);
  LOG_INFO("====================================");

  // Only their descriptions: a source opens nothing before a stream initialises it.
  const std::vector<CaptureSourceInfo> capture_sources =
      DescribeCaptureSources(CreatePlatformServices().capturers());
  CommandLine defaults;
  defaults.capture_output_index = state.capture_output_index.load();
  defaults.capture_backend = state.capture_backend.load();
  const CommandLine command_line = ParseCommandLine(argc, argv, defaults, capture_sources);
  const HostOptions& options = command_line.options;
  state.capture_output_index.store(command_line.capture_output_index);
  state.capture_backend.store(command_line.capture_backend);
  state.relaunch_options = options;
  Logger::Instance().SetFileCap(static_cast<uint64_t>(options.log_cap_mib) << 20);

  // A host relaunched from another holds its ports only once the other has let them go.
  if (command_line.after_pid != 0 &&
      !WaitForProcessExit(command_line.after_pid, kPreviousHostWaitMs)) {
    LOG_WARN("[Main] Previous host (pid %u) is still running", command_line.after_pid);
  }
  if (LogPlatformStartFailure(StartPlatformRuntime())) {
    return 1;
  }
  ExtendedDisplay extended_display;
  state.before_relaunch = [&extended_display] { extended_display.Remove(); };

  LOG_INFO("[Main] Ports: Control=%u, Media=%u, Input=%u, Monitors=%u", options.control_port,
           options.media_port, options.input_port, options.monitors);
  LOG_INFO("[Main] Console mode: %s (background=%s)", OnOff(command_line.console),
           OnOff(command_line.background));
  const std::string log_file = Utf8FromPath(Logger::Instance().CurrentFilePath());
  LOG_INFO("[Main] Log file: %s (at most %u MiB a day)",
           log_file.empty() ? "(none)" : log_file.c_str(), options.log_cap_mib);
  if (!command_line.extend_rejected.empty()) {
    LOG_WARN("[Main] --extend %s is not WIDTHxHEIGHT with each side 64-8192; not extending",
             command_line.extend_rejected.c_str());
  }
  if (options.extend_width != 0 && ExtendsThroughCapture(state.capture_backend.load())) {
    ExtendThroughCapture(state, "--extend", options.extend_width, options.extend_height);
  } else if (options.extend_width != 0) {
    if (const std::optional<uint32_t> output = AddExtendedDisplay(
            extended_display, state, options.extend_width, options.extend_height)) {
      state.capture_output_index.store(*output);
    }
  }
  LOG_INFO("[Main] Capture defaults: output_index=%u backend=%s", state.capture_output_index.load(),
           state.capture_backend.load().c_str());
  LOG_INFO("[Main] Encoder: %s", EncoderChoiceName(options.encoder));

  TrayIcon tray;
  tray.Start();
  tray.SetTooltip(kIdleTooltip);
  state.monitor_count.store(CountedMonitors());
  PrepareTray(tray, state, options, capture_sources, extended_display);
  if (command_line.background && !command_line.console) {
    DetachFromConsole();
  }
  UsbRoute().Setup(options);
  DiscoveryAdvertiser discovery;
  if (!discovery.Register(options.control_port)) {
    AnnounceManualIpMode(tray);
  }

  SessionEnvironment environment;
  environment.platform = CreatePlatformServices({options.encoder, &state.virtual_monitor_size});
  if (environment.platform.capture_choice) {
    environment.platform.capture_choice(state.capture_backend.load());  // logs the decision
  }
  // A host in the background has no console to show the pairing banner on.
  environment.trust.code_issued = [&tray](const std::string& code) {
    tray.ShowNotification(kNotificationTitle, PairingCodeNotice(code));
  };
  RunReconnectLoop(state, options, environment, tray);

  discovery.Unregister();
  // After the tray, which could add the display again.
  tray.Stop();
  extended_display.Remove();
  state.active_session.Clear();
  StopPlatformRuntime();
  LOG_INFO("[Main] Shutdown complete.");
  RemoveConsoleEventHandler();
  state.before_relaunch = nullptr;
  return 0;
}

}  // namespace orvane
