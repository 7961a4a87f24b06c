#include "platform/clock.h"

#include <ctime>

namespace orvane {
namespace {

timespec MonotonicNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts;
}

}  // namespace

uint64_t MonotonicNanos() {
  const timespec ts = MonotonicNow();
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t MonotonicMicros() {
  return MonotonicNanos() / 1000ull;
}

uint64_t TickCountMs() {
  return MonotonicNanos() / 1000000ull;
}

LocalTime CurrentLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  return {parts.tm_year + 1900,
          parts.tm_mon + 1,
          parts.tm_mday,
          parts.tm_hour,
          parts.tm_min,
          parts.tm_sec,
          static_cast<int>(now.tv_nsec / 1000000)};
}

}  // namespace orvane
