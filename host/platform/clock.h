#pragma once

#include <cstdint>

#include "base/local_time.h"

namespace orvane {

// Monotonic high-resolution clock; every timestamp the host puts on the wire uses it.
uint64_t MonotonicMicros();
uint64_t MonotonicNanos();

// Millisecond tick count for pacing and log rate limits.
uint64_t TickCountMs();

LocalTime CurrentLocalTime();

}  // namespace orvane
