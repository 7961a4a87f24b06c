#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace orvane {

// Decides whether the frame loop's current iteration captures a frame, and sleeps
// between iterations. Slots follow deadlines on a nanosecond clock, each one interval
// after the one before (not after the moment it was taken), so a wake-up that comes
// late by less than an interval costs no frame: the loop keeps the asked frame rate
// even where sleeps end only on the system's 15.6 ms tick.
class FramePacer {
 public:
  static constexpr uint32_t kMinFps = 15;

  // The clock and the sleep, replaced in tests.
  struct Clock {
    std::function<uint64_t()> now_ns;            // monotonic
    std::function<void(uint64_t)> sleep_for_ns;  // may sleep longer, never shorter
  };

  // The monotonic high-resolution clock and the finest sleep the system has.
  FramePacer();
  explicit FramePacer(Clock clock);

  // 1 s / fps, with fps raised to 15 and the result at least 1 ms.
  static uint64_t IntervalNs(uint32_t fps);

  // True when a slot is due now. A slot late by a whole interval or more (a stalled
  // capture) is not made up: the next one is counted from when this one was taken, so a
  // stall lowers the frame rate instead of producing a burst afterwards.
  bool TakeSlot(uint32_t fps);

  // Sleeps until the next iteration: `poll_ns` from now, or sooner when the next slot is
  // due before that.
  void Wait(uint64_t poll_ns);

 private:
  Clock clock_;
  std::optional<uint64_t> slot_ns_;  // the deadline of the last slot taken
  uint64_t interval_ns_ = 0;         // the interval that slot was taken at
};

}  // namespace orvane
