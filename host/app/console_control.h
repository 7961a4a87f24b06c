#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/console.h"

namespace orvane {

using Relauncher = std::function<RelaunchResult(const std::vector<std::string>& arguments)>;

// The host's answer to a console event: shutdown for Ctrl+C and its kin, a background
// relaunch when the console closes. Returns whether the event was handled.
bool HandleConsoleEvent(uint32_t event, AppState& state,
                        const Relauncher& relaunch = RelaunchDetached);

// "--background --control-port %u --media-port %u --input-port %u --monitors %u".
std::vector<std::string> BackgroundRelaunchArguments(const HostOptions& options,
                                                     uint32_t relaunching_pid);

}  // namespace orvane
