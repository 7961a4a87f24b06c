#pragma once

#include <cstdint>

#include "platform/socket.h"

namespace orvane::testing {

// The local port `socket` is bound to; 0 when the handle is closed (or not bound). Only
// meaningful while no other thread creates sockets: a closed handle value may be reused.
uint16_t BoundPort(SocketHandle socket);

}  // namespace orvane::testing
