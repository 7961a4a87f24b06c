#include "app/reconnect_loop.h"

#include <chrono>
#include <memory>
#include <thread>

#include "app/tray_texts.h"
#include "base/logger.h"
#include "session/host_session.h"

namespace orvane {
namespace {

constexpr auto kReconnectPause = std::chrono::milliseconds(2000);

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

}  // namespace

void RunReconnectLoop(AppState& state, const HostOptions& options,
                      const SessionEnvironment& environment, TrayIcon& tray) {
  while (!state.shutdown_requested.load()) {
    auto session = std::make_shared<HostSession>(environment);
    state.active_session.Publish(session);
    if (!session->Initialize(options)) {
      LOG_ERROR("[Main] Session initialization failed");
      state.active_session.Retire(session);
      return;
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
      return;
    }
    LOG_INFO("[Main] Session ended. Reconnecting in 2 seconds...");
    tray.SetTooltip(kReconnectingTooltip);
    std::this_thread::sleep_for(kReconnectPause);
    state.active_session.Retire(session);
  }
}

}  // namespace orvane
