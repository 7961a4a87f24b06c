#pragma once

#include <cstdint>
#include <memory>

namespace orvane {

// What the host is announced as on the local network (DNS-SD over multicast DNS).
inline constexpr const char* kDiscoveryServiceType = "_orvane._tcp";
struct DiscoveryTxtProperty {
  const char* key;
  const char* value;
};
inline constexpr DiscoveryTxtProperty kDiscoveryTxtProperties[] = {{"app", "orvane-display"},
                                                                   {"proto", "v1"}};

// Announces the host's control port under the computer's name, so that phones list the
// host without an address typed in; the other ports come with the capability exchange.
// One registration lives for the whole process, across sessions; it is withdrawn by
// Unregister or the destructor, so phones stop listing a host that is gone. Register and
// Unregister run on the main thread.
class DiscoveryAdvertiser {
 public:
  DiscoveryAdvertiser();
  ~DiscoveryAdvertiser();
  DiscoveryAdvertiser(const DiscoveryAdvertiser&) = delete;
  DiscoveryAdvertiser& operator=(const DiscoveryAdvertiser&) = delete;

  // True when the system took the registration (it is announced in the background), or
  // at once when already registered. Failures are logged.
  bool Register(uint16_t control_port);
  // Withdraws the registration; nothing when there is none.
  void Unregister();

 private:
  struct Registration;
  std::unique_ptr<Registration> registration_;
};

}  // namespace orvane
