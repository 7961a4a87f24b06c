#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// Where a received datagram came from, as the host sees it (after any address
// translation on the way).
struct DatagramSource {
  std::string address;  // dotted IPv4 text
  uint16_t port = 0;    // host order
};

}  // namespace orvane
