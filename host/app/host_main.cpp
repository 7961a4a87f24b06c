#include "app/host_main.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/console_control.h"
#include "app/platform_services.h"
#include "base/logger.h"
#include "platform/app_folders.h"
#include "platform/clock.h"
#include "platform/platform_runtime.h"
#include "services/discovery_advertiser.h"
#include "session/host_session.h"

namespace orvane {
namespace {

constexpr auto kReconnectPause = std::chrono::milliseconds(2000);

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
void AnnounceManualIpMode() {
  LOG_INFO("[Main] mDNS registration failed -- manual IP entry required on mobile");
}

void ReconnectLoop(const HostOptions& options, const SessionEnvironment& environment) {
  AppState& state = State();
  while (!state.shutdown_requested.load()) {
    auto session = std::make_shared<HostSession>(environment);
    state.active_session.Publish(session);
    if (!session->Initialize(options)) {
      LOG_ERROR("[Main] Session initialization failed");
      state.active_session.Retire(session);
      return;
    }
    session->SetCaptureSelection(state.capture_output_index.load(), state.capture_backend.load());
    LOG_INFO("\n[Main] Ready. Waiting for mobile client...\n");
    session->Run();
    state.active_session.Clear();
    if (state.shutdown_requested.load()) {
      state.active_session.Retire(session);
      return;
    }
    LOG_INFO("[Main] Session ended. Reconnecting in 2 seconds...");
    std::this_thread::sleep_for(kReconnectPause);
    state.active_session.Retire(session);
  }
}

}  // namespace

int RunHost(int argc, const char* const* argv) {
  if (WantsUsage(argc, argv)) {
    std::fputs(CommandLineUsage(), stdout);
    return 0;
  }
  AppState& state = State();
  Logger::Instance().Init("orvane", LoggerEnvironment{CurrentLocalTime, AppLogFolder, stdout});
  LOG_INFO("====================================");
  LOG_INFO("  Orvane Display Host v%s", ORVANE_VERSION);
  LOG_INFO("====================================");

  CommandLine defaults;
  defaults.capture_output_index = state.capture_output_index.load();
  defaults.capture_backend = state.capture_backend.load();
  const CommandLine command_line = ParseCommandLine(argc, argv, defaults);
  const HostOptions& options = command_line.options;
  state.capture_output_index.store(command_line.capture_output_index);
  state.capture_backend.store(command_line.capture_backend);
  state.relaunch_options = options;

  if (LogPlatformStartFailure(StartPlatformRuntime())) {
    return 1;
  }
  InstallConsoleEventHandler([](uint32_t event) { return HandleConsoleEvent(event, State()); });

  LOG_INFO("[Main] Ports: Control=%u, Media=%u, Input=%u, Monitors=%u", options.control_port,
           options.media_port, options.input_port, options.monitors);
  LOG_INFO("[Main] Console mode: %s (background=%s)", OnOff(command_line.console),
           OnOff(command_line.background));
  LOG_INFO("[Main] Capture defaults: output_index=%u backend=%s", state.capture_output_index.load(),
           CaptureBackendName(state.capture_backend.load()));

  if (command_line.background && !command_line.console) {
    DetachFromConsole();
  }

  DiscoveryAdvertiser discovery;
  if (!discovery.Register(options.control_port)) {
    AnnounceManualIpMode();
  }

  SessionEnvironment environment;
  environment.platform = CreatePlatformServices();
  ReconnectLoop(options, environment);

  discovery.Unregister();
  state.active_session.Clear();
  StopPlatformRuntime();
  LOG_INFO("[Main] Shutdown complete.");
  RemoveConsoleEventHandler();
  return 0;
}

}  // namespace orvane
