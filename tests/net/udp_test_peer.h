#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/socket.h"
#include "support/test_socket.h"

namespace orvane::testing {

// The client's end of the media and input paths: a UDP socket on 127.0.0.1. (Wine
// reports every loopback sender as 127.0.0.1, so other loopback addresses would not show.)
class UdpPeer {
 public:
  UdpPeer();
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  uint16_t port() const { return port_; }
  bool SendTo(uint16_t port, std::span<const uint8_t> bytes);
  // The next datagram, or nullopt when none arrives within the wait.
  std::optional<std::vector<uint8_t>> Receive(
      std::chrono::milliseconds wait = std::chrono::seconds(5));

 private:
  SocketHandle socket_ = kInvalidSocket;
  uint16_t port_ = 0;
  uint32_t receive_timeout_ms_ = 0;
};

}  // namespace orvane::testing
