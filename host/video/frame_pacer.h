#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/clock.h"

namespace orvane {

// Decides, by millisecond ticks, whether the frame loop's current iteration captures a
// frame. The loop spins with a 1 ms sleep; a frame slot is due once a full interval has
// passed since the previous slot began.
class FramePacer {
 public:
  static constexpr uint32_t kMinFps = 15;

  using TickClock = std::function<uint64_t()>;

  explicit FramePacer(TickClock ticks_ms = TickCountMs);

  // 1000 / fps in whole milliseconds, with fps raised to 15 and the result at least 1.
  static uint64_t IntervalMs(uint32_t fps);

  // True when a slot is due now; the slot then starts at this tick. A late slot is not
  // made up: the next one is counted from when this one actually started, so a stalled
  // capture lowers the frame rate instead of producing a burst afterwards.
  bool TakeSlot(uint32_t fps);

 private:
  TickClock ticks_ms_;
  std::optional<uint64_t> last_slot_ms_;
};

}  // namespace orvane
