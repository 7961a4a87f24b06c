#include "video/cursor_poll_schedule.h"

namespace orvane {

uint64_t CursorPollSchedule::NsUntilDue(uint64_t now_ns) const {
  if (!last_poll_ns_) {
    return 0;
  }
  const bool moving = last_change_ns_ && now_ns - *last_change_ns_ < kSettleNs;
  const uint64_t due_ns = *last_poll_ns_ + (moving ? kMovingPeriodNs : kStillPeriodNs);
  return due_ns > now_ns ? due_ns - now_ns : 0;
}

void CursorPollSchedule::Polled(uint64_t now_ns, bool changed) {
  last_poll_ns_ = now_ns;
  if (changed) {
    last_change_ns_ = now_ns;
  }
}

}  // namespace orvane
