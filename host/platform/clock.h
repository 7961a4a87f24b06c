#pragma once

#include <cstdint>

namespace orvane {

// Monotonic high-resolution clock; every timestamp the host puts on the wire uses it.
uint64_t MonotonicMicros();
uint64_t MonotonicNanos();

// Millisecond tick count for pacing and log rate limits.
uint64_t TickCountMs();

// Local wall-clock time, for log file names and line timestamps only.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalTime CurrentLocalTime();

}  // namespace orvane
