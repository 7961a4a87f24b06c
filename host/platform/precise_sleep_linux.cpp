#include "platform/precise_sleep.h"

#include <time.h>

#include <cerrno>

namespace orvane {

// clock_nanosleep keeps nothing between sleeps.
struct PreciseSleeper::Timer {};

PreciseSleeper::PreciseSleeper() = default;

PreciseSleeper::PreciseSleeper(const WaitableTimerCalls*) {}

PreciseSleeper::~PreciseSleeper() = default;

void PreciseSleeper::SleepFor(uint64_t nanoseconds) {
  timespec left{static_cast<time_t>(nanoseconds / 1000000000),
                static_cast<long>(nanoseconds % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
  }
}

}  // namespace orvane
