#include <string>

#include "base/status.h"
#include "platform/socket.h"

namespace orvane {

bool ResolveIpv4(const std::string& host, uint16_t port, sockaddr_in& address,
                 uint32_t& failure_hr) {
  address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) {
    return true;
  }
  // An empty name would resolve to this computer's own addresses.
  if (host.empty()) {
    failure_hr = ResolverFailureHresult(UnknownHostResolverError());
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0) {
    failure_hr = ResolverFailureHresult(result);
    return false;
  }
  address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

}  // namespace orvane
