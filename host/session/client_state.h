#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {

enum class SessionClientState : uint32_t { kWaiting = 0, kConnected = 1, kDisconnected = 2 };

// Raised with the client's IPv4 address text for kConnected, an empty text otherwise.
using ClientStateCallback = std::function<void(SessionClientState, const std::string& text)>;

}  // namespace orvane
