#pragma once

#include "app/app_state.h"
#include "app/tray_icon.h"
#include "session/host_options.h"
#include "session/session_environment.h"

namespace orvane {

// Runs one session after another, two seconds apart, until a shutdown is requested or a
// session cannot be initialised. Each session takes the capture selection that `state`
// holds when it is made; the tray follows the sessions' client states.
void RunReconnectLoop(AppState& state, const HostOptions& options,
                      const SessionEnvironment& environment, TrayIcon& tray);

}  // namespace orvane
