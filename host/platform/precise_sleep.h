#pragma once

#include <cstdint>
#include <memory>

namespace orvane {

// The system calls behind a Windows sleeper, replaceable in tests; the system's own when
// none are given.
struct WaitableTimerCalls;

// Sleeps with the finest timer the system offers, so that a frame deadline 16.7 ms away
// is met instead of rounded to the scheduler's 15.6 ms tick: on Windows a waitable timer
// made with CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, or a plain one where the system has no
// such timer (before Windows 10 1803); on Linux clock_nanosleep. One thread at a time.
class PreciseSleeper {
 public:
  PreciseSleeper();
  explicit PreciseSleeper(const WaitableTimerCalls* calls);
  ~PreciseSleeper();
  PreciseSleeper(const PreciseSleeper&) = delete;
  PreciseSleeper& operator=(const PreciseSleeper&) = delete;

  void SleepFor(uint64_t nanoseconds);

  // False where sleeps follow the system tick (a Windows without high-resolution timers).
  bool high_resolution() const { return high_resolution_; }

 private:
  // What the platform's sleeps keep between them (a Windows waitable timer), if anything.
  struct Timer;
  std::unique_ptr<Timer> timer_;
  bool high_resolution_ = true;
};

}  // namespace orvane
