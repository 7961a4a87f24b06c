#pragma once

#include <cstdint>

#include "platform/socket.h"

namespace orvane::testing {

// The local port `socket` is bound to; 0 when the handle is closed (or not bound). Only
// meaningful while no other thread creates sockets: a closed handle value may be reused.
uint16_t BoundPort(SocketHandle socket);

// A socket of `type` (SOCK_STREAM listening, or SOCK_DGRAM) bound to 127.0.0.1 on a free
// port.
SocketHandle LoopbackSocket(int type);

// Whether a socket of `type` that asks for SO_REUSEADDR, as another program may, can bind
// `port` on all local addresses.
bool BindsWithAddressReuse(int type, uint16_t port);

// Both ends of one loopback TCP connection.
struct ConnectedPair {
  ConnectedPair();
  ~ConnectedPair();
  ConnectedPair(const ConnectedPair&) = delete;
  ConnectedPair& operator=(const ConnectedPair&) = delete;

  // Hands the host end to the caller, who closes it from then on.
  SocketHandle ReleaseHost();

  SocketHandle host = kInvalidSocket;
  SocketHandle client = kInvalidSocket;
};

}  // namespace orvane::testing
