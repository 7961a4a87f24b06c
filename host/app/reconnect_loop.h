#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "app/app_state.h"
#include "app/tray_icon.h"
#include "session/host_options.h"
#include "session/session_environment.h"

namespace orvane {

// Where the loop gets its sessions and its sense of time; tests replace them.
struct ReconnectServices {
  std::function<std::shared_ptr<HostSession>()> make_session;
  std::function<std::chrono::steady_clock::time_point()> now;
  // Waits the pause, or less once a shutdown is requested.
  std::function<void(std::chrono::milliseconds)> pause;
};

// Sessions from `environment`, the steady clock, and a pause that a shutdown ends.
ReconnectServices DefaultReconnectServices(AppState& state, const SessionEnvironment& environment);

// Runs one session after another, two seconds apart, until a shutdown is requested. Only
// the first session may fail to initialise the loop: that ends it. A later session that
// cannot bind (an old connection may still hold the port) is retried every two seconds.
// Each session takes the capture selection that `state` holds when it is made; the tray
// follows the sessions' client states. Returns false when the first session failed.
bool RunReconnectLoop(AppState& state, const HostOptions& options, TrayIcon& tray,
                      const ReconnectServices& services);
bool RunReconnectLoop(AppState& state, const HostOptions& options,
                      const SessionEnvironment& environment, TrayIcon& tray);

}  // namespace orvane
