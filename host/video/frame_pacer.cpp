#include "video/frame_pacer.h"

#include <algorithm>
#include <utility>

namespace orvane {

FramePacer::FramePacer(TickClock ticks_ms) : ticks_ms_(std::move(ticks_ms)) {}

uint64_t FramePacer::IntervalMs(uint32_t fps) {
  return std::max<uint64_t>(1, 1000 / std::max(fps, kMinFps));
}

bool FramePacer::TakeSlot(uint32_t fps) {
  const uint64_t now = ticks_ms_();
  if (last_slot_ms_ && now - *last_slot_ms_ < IntervalMs(fps)) {
    return false;
  }
  last_slot_ms_ = now;
  return true;
}

}  // namespace orvane
