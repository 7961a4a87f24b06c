#include "video/frame_pacer.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/clock.h"
#include "platform/precise_sleep.h"

namespace orvane {
namespace {

constexpr uint64_t kNsPerSecond = 1000000000;
constexpr uint64_t kMinIntervalNs = 1000000;

}  // namespace

FramePacer::FramePacer()
    : FramePacer(Clock{MonotonicNanos, [sleeper = std::make_shared<PreciseSleeper>()](uint64_t ns) {
                         sleeper->SleepFor(ns);
                       }}) {}

FramePacer::FramePacer(Clock clock) : clock_(std::move(clock)) {}

uint64_t FramePacer::IntervalNs(uint32_t fps) {
  return std::max(kMinIntervalNs, kNsPerSecond / std::max(fps, kMinFps));
}

bool FramePacer::TakeSlot(uint32_t fps) {
  const uint64_t now = clock_.now_ns();
  interval_ns_ = IntervalNs(fps);
  if (!slot_ns_) {
    slot_ns_ = now;
    return true;
  }
  const uint64_t due = *slot_ns_ + interval_ns_;
  if (now < due) {
    return false;
  }
  slot_ns_ = now - due >= interval_ns_ ? now : due;
  return true;
}

void FramePacer::Wait(uint64_t poll_ns) {
  uint64_t sleep_ns = poll_ns;
  if (slot_ns_) {
    const uint64_t now = clock_.now_ns();
    const uint64_t due = *slot_ns_ + interval_ns_;
    sleep_ns = std::min(sleep_ns, due > now ? due - now : 0);
  }
  if (sleep_ns > 0) {
    clock_.sleep_for_ns(sleep_ns);
  }
}

}  // namespace orvane
