#include "net/udp_test_peer.h"

namespace orvane::testing {
namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

UdpPeer::UdpPeer() {
  socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  // Room for every datagram a test sends before it reads them.
  SetSocketOption(socket_, SOL_SOCKET, SO_RCVBUF, 4 * 1024 * 1024);
  sockaddr_in local = LoopbackAddress(0);
  bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local));
  socklen_t size = sizeof(local);
  getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size);
  port_ = ntohs(local.sin_port);
}

UdpPeer::~UdpPeer() {
  CloseSocket(socket_);
}

bool UdpPeer::SendTo(uint16_t port, std::span<const uint8_t> bytes) {
  const sockaddr_in remote = LoopbackAddress(port);
  return SendDatagram(socket_, bytes.data(), bytes.size(), remote) ==
         static_cast<int>(bytes.size());
}

std::optional<std::vector<uint8_t>> UdpPeer::Receive(std::chrono::milliseconds wait) {
  const auto wait_ms = static_cast<uint32_t>(wait.count());
  if (wait_ms != receive_timeout_ms_) {
    SetReceiveTimeout(socket_, wait_ms);
    receive_timeout_ms_ = wait_ms;
  }
  std::vector<uint8_t> datagram(65536);
  sockaddr_in from{};
  const int received = ReceiveDatagram(socket_, datagram.data(), datagram.size(), from);
  if (received < 0) {
    return std::nullopt;
  }
  datagram.resize(static_cast<size_t>(received));
  return datagram;
}

}  // namespace orvane::testing
