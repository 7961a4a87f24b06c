#include "platform/platform_runtime.h"

#include <csignal>

namespace orvane {

PlatformStartResult StartPlatformRuntime() {
  // A peer that vanishes mid-send must surface as a send error, not kill the host.
  std::signal(SIGPIPE, SIG_IGN);
  return {};
}

void StopPlatformRuntime() {}

}  // namespace orvane
