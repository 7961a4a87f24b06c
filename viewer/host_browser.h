#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::viewer {

struct FoundHost {
  std::string name;
  std::string address;  // dotted IPv4
  uint16_t port = 0;
};

// The hosts that announce themselves on the local network (DNS-SD through the Avahi
// daemon), each resolved to an IPv4 address and port, collected for at most `wait`.
// Empty when the daemon cannot be reached (see `error`).
std::vector<FoundHost> BrowseHosts(std::chrono::milliseconds wait, std::string& error);

}  // namespace orvane::viewer
