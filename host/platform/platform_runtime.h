#pragma once

#include <cstdint>

namespace orvane {

// Process-wide OS services that must be up before any component starts (sockets, COM,
// the media framework on Windows). The caller logs the failed step.
struct PlatformStartResult {
  enum class FailedStep { kNone, kSockets, kCom, kMediaFramework };
  FailedStep failed_step = FailedStep::kNone;
  uint32_t hr = 0;

  bool ok() const { return failed_step == FailedStep::kNone; }
};

PlatformStartResult StartPlatformRuntime();

// Shuts down what StartPlatformRuntime started, in reverse order.
void StopPlatformRuntime();

}  // namespace orvane
