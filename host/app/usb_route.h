#pragma once

#include <cstdint>

#include "app/adb_search.h"
#include "session/host_options.h"

namespace orvane {

// Lets a phone on USB reach the host without a network: asks adb to reverse-forward the
// host's three ports, so that the phone's connections to its own loopback address on
// those ports arrive at the same ports here. adb forwards TCP only, so over USB the
// control channel works while the UDP media and input still need the network.
class UsbRoute {
 public:
  // Each adb run gets this long before it is killed and counted as failed.
  static constexpr uint32_t kAdbTimeLimitMs = 6000;

  explicit UsbRoute(AdbSearch search = AdbSearch::System()) : search_(std::move(search)) {}

  // Starts adb's server, then reverse-forwards the control, media and input ports in
  // that order, stopping at the first failure. True when all three succeeded.
  bool Setup(const HostOptions& options) const;

 private:
  AdbSearch search_;
};

}  // namespace orvane
