#pragma once

#include <optional>
#include <string>

#include "session/client_state.h"

namespace orvane {

// Title of every notification the host shows.
inline constexpr const char* kNotificationTitle = "Orvane Display";

inline constexpr const char* kIdleTooltip = "Orvane Display - Idle";
inline constexpr const char* kWaitingTooltip = "Orvane Display - Waiting for client...";
inline constexpr const char* kReconnectingTooltip = "Orvane Display - Reconnecting...";
inline constexpr const char* kManualIpTooltip = "Orvane Display - Manual IP mode";

// Shown when local discovery cannot announce the host.
inline constexpr const char* kManualIpNotice =
    "Local discovery is unavailable. Use manual host IP on mobile.";

// The tooltip for a client state raised by a session; `text` is the client's address
// for kConnected. Nothing for a value the host does not know.
std::optional<std::string> TooltipForClientState(SessionClientState state, const std::string& text);

// The notification that carries a newly issued pairing code.
std::string PairingCodeNotice(const std::string& code);

}  // namespace orvane
