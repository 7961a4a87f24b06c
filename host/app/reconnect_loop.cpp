#include "app/reconnect_loop.h"

#include <chrono>
#include <memory>
#include <optional>

#include "app/tray_texts.h"
#include "base/logger.h"
#include "session/host_session.h"

namespace orvane {
namespace {

constexpr auto kReconnectPause = std::chrono::milliseconds(2000);
// A port that stays taken would otherwise fill the log with a line every two seconds.
constexpr auto kRetryLogInterval = std::chrono::minutes(1);

ClientStateCallback ShowClientStates(AppState& state, TrayIcon& tray) {
  return [&state, &tray](SessionClientState client_state, const std::string& text) {
    const std::optional<std::string> tooltip = TooltipForClientState(client_state, text);
    if (!tooltip) {
      return;
    }
    const bool connected = client_state == SessionClientState::kConnected;
    state.client_connected.store(connected);
    tray.model().SetConnected(connected);
    tray.SetTooltip(*tooltip);
  };
}

// Makes sessions until one initialises or a shutdown is requested; null on shutdown or
// when the first session of the process fails.
std::shared_ptr<HostSession> InitializedSession(AppState& state, const HostOptions& options,
                                                const ReconnectServices& services,
                                                bool first_start) {
  std::optional<std::chrono::steady_clock::time_point> last_retry_log;
  while (!state.shutdown_requested.load()) {
    auto session = services.make_session();
    state.active_session.Publish(session);
    if (session->Initialize(options)) {
      return session;
    }
    const bool port_taken = session->ControlPortTaken();
    state.active_session.Retire(session);
    if (first_start) {
      if (port_taken) {
        LOG_ERROR("[Main] Control port %u is taken; is another host running?",
                  options.control_port);
      }
      LOG_ERROR("[Main] Session initialization failed");
      return nullptr;
    }
    const auto now = services.now();
    if (!last_retry_log || now - *last_retry_log >= kRetryLogInterval) {
      last_retry_log = now;
      LOG_ERROR("[Main] Session initialization failed; retrying every 2 seconds...");
    }
    services.pause(kReconnectPause);
  }
  return nullptr;
}

}  // namespace

ReconnectServices DefaultReconnectServices(AppState& state, const SessionEnvironment& environment) {
  ReconnectServices services;
  services.make_session = [&environment] { return std::make_shared<HostSession>(environment); };
  services.now = [] { return std::chrono::steady_clock::now(); };
  services.pause = [&state](std::chrono::milliseconds pause) { state.WaitForShutdown(pause); };
  return services;
}

bool RunReconnectLoop(AppState& state, const HostOptions& options,
                      const SessionEnvironment& environment, TrayIcon& tray) {
  return RunReconnectLoop(state, options, tray, DefaultReconnectServices(state, environment));
}

bool RunReconnectLoop(AppState& state, const HostOptions& options, TrayIcon& tray,
                      const ReconnectServices& services) {
  bool first_start = true;
  while (!state.shutdown_requested.load()) {
    auto session = InitializedSession(state, options, services, first_start);
    if (!session) {
      return !first_start;
    }
    first_start = false;
    // A shutdown requested before the session was published found nothing to stop.
    if (state.shutdown_requested.load()) {
      state.active_session.Retire(session);
      return true;
    }
    session->SetCaptureSelection(state.capture_output_index.load(), state.capture_backend.load());
    session->SetClientStateCallback(ShowClientStates(state, tray));
    tray.SetTooltip(kWaitingTooltip);
    state.client_connected.store(false);
    tray.model().SetConnected(false);
    LOG_INFO("\n[Main] Ready. Waiting for mobile client...\n");
    session->Run();
    state.active_session.Clear();
    if (state.shutdown_requested.load()) {
      state.active_session.Retire(session);
      return true;
    }
    LOG_INFO("[Main] Session ended. Reconnecting in 2 seconds...");
    tray.SetTooltip(kReconnectingTooltip);
    services.pause(kReconnectPause);
    state.active_session.Retire(session);
  }
  return true;
}

}  // namespace orvane
