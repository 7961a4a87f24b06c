#include "platform/socket_probe.h"

namespace orvane::testing {

uint16_t BoundPort(SocketHandle socket) {
  sockaddr_in local{};
  socklen_t size = sizeof(local);
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    return 0;
  }
  return ntohs(local.sin_port);
}

}  // namespace orvane::testing
