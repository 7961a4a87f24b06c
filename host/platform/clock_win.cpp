#include "platform/clock.h"

#include <windows.h>

namespace orvane {
namespace {

uint64_t CounterFrequency() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER value{};
    QueryPerformanceFrequency(&value);
    return static_cast<uint64_t>(value.QuadPart);
  }();
  return frequency;
}

uint64_t CounterValue() {
  LARGE_INTEGER value{};
  QueryPerformanceCounter(&value);
  return static_cast<uint64_t>(value.QuadPart);
}

// Splits the conversion so that the multiplication cannot overflow for long uptimes.
uint64_t CounterTo(uint64_t units_per_second) {
  const uint64_t counter = CounterValue();
  const uint64_t frequency = CounterFrequency();
  return (counter / frequency) * units_per_second +
         (counter % frequency) * units_per_second / frequency;
}

}  // namespace

uint64_t MonotonicMicros() {
  return CounterTo(1000000ull);
}

uint64_t MonotonicNanos() {
  return CounterTo(1000000000ull);
}

uint64_t TickCountMs() {
  return GetTickCount64();
}

LocalTime CurrentLocalTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace orvane
