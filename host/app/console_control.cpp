#include "app/console_control.h"

#include "base/logger.h"
#include "platform/process.h"
#include "session/host_session.h"

namespace orvane {
namespace {

void RelaunchInBackground(const AppState& state, const Relauncher& relaunch) {
  LOG_INFO("[Main] Console close intercepted -- relaunching in background");
  if (state.before_relaunch) {
    state.before_relaunch();
  }
  HostOptions options = state.relaunch_options;
  const uint32_t extended = state.extended_size.load();
  options.extend_width = static_cast<uint16_t>(extended >> 16);
  options.extend_height = static_cast<uint16_t>(extended & 0xFFFF);
  const RelaunchResult result = relaunch(BackgroundRelaunchArguments(options, CurrentProcessId()));
  switch (result.outcome) {
    case RelaunchResult::Outcome::kPathLookupFailed:
      LOG_WARN("[Main] Relaunch path lookup failed: 0x%08lX",
               static_cast<unsigned long>(result.error));
      break;
    case RelaunchResult::Outcome::kStartFailed:
      LOG_WARN("[Main] Background relaunch failed: 0x%08lX",
               static_cast<unsigned long>(result.error));
      break;
    case RelaunchResult::Outcome::kRequested:
      LOG_INFO("[Main] Background relaunch requested after console close");
      break;
  }
}

}  // namespace

std::vector<std::string> BackgroundRelaunchArguments(const HostOptions& options,
                                                     uint32_t relaunching_pid) {
  std::vector<std::string> arguments{"--background",
                                     "--control-port",
                                     std::to_string(options.control_port),
                                     "--media-port",
                                     std::to_string(options.media_port),
                                     "--input-port",
                                     std::to_string(options.input_port),
                                     "--monitors",
                                     std::to_string(options.monitors),
                                     "--log-cap-mib",
                                     std::to_string(options.log_cap_mib),
                                     "--after-pid",
                                     std::to_string(relaunching_pid)};
  if (options.extend_width != 0) {
    arguments.insert(arguments.end(), {"--extend", std::to_string(options.extend_width) + "x" +
                                                       std::to_string(options.extend_height)});
  }
  if (options.encoder != EncoderChoice::kAuto) {
    arguments.insert(arguments.end(), {"--encoder", EncoderChoiceName(options.encoder)});
  }
  return arguments;
}

bool HandleConsoleEvent(uint32_t event, AppState& state, const Relauncher& relaunch) {
  switch (event) {
    case kConsoleClose:
      if (!state.shutdown_requested.load() && state.relaunch_on_console_close.load()) {
        RelaunchInBackground(state, relaunch);
      }
      return true;
    case kConsoleCtrlC:
    case kConsoleCtrlBreak:
    case kConsoleLogoff:
    case kConsoleShutdown:
      LOG_INFO("\n[Main] Shutdown signal received");
      state.RequestShutdown();
      if (const auto session = state.active_session.Get()) {
        session->RequestStop();
      }
      return true;
    default:
      return false;
  }
}

}  // namespace orvane
