#include "support/socket_probe.h"

#include "support/test_socket.h"

namespace orvane::testing {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

uint16_t BoundPort(SocketHandle socket) {
  sockaddr_in local{};
  socklen_t size = sizeof(local);
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    return 0;
  }
  return ntohs(local.sin_port);
}

SocketHandle LoopbackSocket(int type) {
  const bool stream = type == SOCK_STREAM;
  const SocketHandle handle = socket(AF_INET, type, stream ? IPPROTO_TCP : IPPROTO_UDP);
  const sockaddr_in address = Loopback(stream ? FreeTcpPort() : FreeUdpPort());
  if (bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      (stream && listen(handle, 4) != 0)) {
    CloseSocket(handle);
    return kInvalidSocket;
  }
  return handle;
}

bool BindsWithAddressReuse(int type, uint16_t port) {
  const SocketHandle handle = socket(AF_INET, type, 0);
  SetSocketOption(handle, SOL_SOCKET, SO_REUSEADDR, 1);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  const bool bound =
      bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  CloseSocket(handle);
  return bound;
}

ConnectedPair::ConnectedPair() {
  const SocketHandle listener = LoopbackSocket(SOCK_STREAM);
  const sockaddr_in address = Loopback(BoundPort(listener));
  client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    host = accept(listener, nullptr, nullptr);
  }
  CloseSocket(listener);
}

ConnectedPair::~ConnectedPair() {
  CloseSocket(host);
  CloseSocket(client);
}

SocketHandle ConnectedPair::ReleaseHost() {
  const SocketHandle released = host;
  host = kInvalidSocket;
  return released;
}

}  // namespace orvane::testing
