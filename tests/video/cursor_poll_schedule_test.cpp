#include "video/cursor_poll_schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

constexpr uint64_t kMs = 1000000;
constexpr uint64_t kStart = 5000 * kMs;  // a monotonic clock that is well past zero

TEST(CursorPollScheduleTest, TheFirstReadIsDueAtOnce) {
  const CursorPollSchedule schedule;
  EXPECT_EQ(schedule.NsUntilDue(kStart), 0u);
}

// Each case: the reads made (time after kStart, whether they found a change), then when
// the next read is due seen from `now`.
TEST(CursorPollScheduleTest, AMovingPointerIsReadOftenAndAStillOneRarely) {
  struct Read {
    uint64_t at_ns;
    bool changed;
  };
  struct Case {
    const char* name;
    std::vector<Read> reads;
    uint64_t now_ns;
    uint64_t until_due_ns;
  };
  const Case cases[] = {
      {"never moved", {{0, false}}, 1 * kMs, CursorPollSchedule::kStillPeriodNs - 1 * kMs},
      {"just moved", {{0, true}}, 1 * kMs, CursorPollSchedule::kMovingPeriodNs - 1 * kMs},
      {"moved, then still reads for under a second",
       {{0, true}, {500 * kMs, false}},
       501 * kMs,
       CursorPollSchedule::kMovingPeriodNs - 1 * kMs},
      {"still for a whole second after moving",
       {{0, true}, {1000 * kMs, false}},
       1001 * kMs,
       CursorPollSchedule::kStillPeriodNs - 1 * kMs},
      {"moving again after a pause",
       {{0, true}, {3000 * kMs, false}, {3050 * kMs, true}},
       3051 * kMs,
       CursorPollSchedule::kMovingPeriodNs - 1 * kMs},
      {"a read overdue", {{0, false}}, 80 * kMs, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CursorPollSchedule schedule;
    for (const Read& read : c.reads) {
      schedule.Polled(kStart + read.at_ns, read.changed);
    }
    EXPECT_EQ(schedule.NsUntilDue(kStart + c.now_ns), c.until_due_ns);
  }
}

}  // namespace
}  // namespace orvane
