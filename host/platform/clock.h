#pragma once

#include <cstdint>

#include "base/local_time.h"

namespace orvane {

// Monotonic high-resolution clock; every timestamp the host puts on the wire uses it.
uint64_t MonotonicMicros();
uint64_t MonotonicNanos();

// Millisecond tick count for retry periods and log rate limits (frame pacing uses the
// nanosecond clock: this one moves in steps of up to 15.6 ms on Windows).
uint64_t TickCountMs();

LocalTime CurrentLocalTime();

}  // namespace orvane
