#include "video/frame_pacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

TEST(FramePacerTest, IntervalFollowsTheFrameRateWithAFloorOf15) {
  struct Case {
    uint32_t fps;
    uint64_t interval_ms;
  };
  const Case cases[] = {
      {60, 16}, {30, 33}, {120, 8}, {15, 66}, {10, 66}, {0, 66}, {1000, 1}, {5000, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fps);
    EXPECT_EQ(FramePacer::IntervalMs(c.fps), c.interval_ms);
  }
}

// Ticks the fake clock by 1 ms per loop iteration, as the loop's sleep does.
std::vector<uint64_t> SlotTicks(FramePacer& pacer, uint64_t& now, uint64_t until, uint32_t fps) {
  std::vector<uint64_t> slots;
  for (; now < until; ++now) {
    if (pacer.TakeSlot(fps)) {
      slots.push_back(now);
    }
  }
  return slots;
}

TEST(FramePacerTest, FirstIterationTakesASlotThenOneSlotPerInterval) {
  uint64_t now = 5000;
  FramePacer pacer([&] { return now; });
  EXPECT_EQ(SlotTicks(pacer, now, 5050, 60), (std::vector<uint64_t>{5000, 5016, 5032, 5048}));
}

TEST(FramePacerTest, LateSlotIsNotMadeUpAndTheNextIsCountedFromIt) {
  uint64_t now = 100;
  FramePacer pacer([&] { return now; });
  ASSERT_TRUE(pacer.TakeSlot(60));
  now = 150;  // a capture that stalled for three intervals
  EXPECT_TRUE(pacer.TakeSlot(60));
  EXPECT_FALSE(pacer.TakeSlot(60));
  now = 165;
  EXPECT_FALSE(pacer.TakeSlot(60));
  now = 166;
  EXPECT_TRUE(pacer.TakeSlot(60));
}

TEST(FramePacerTest, NewFrameRateAppliesToTheNextDecision) {
  uint64_t now = 0;
  FramePacer pacer([&] { return now; });
  ASSERT_TRUE(pacer.TakeSlot(60));
  now = 10;
  EXPECT_FALSE(pacer.TakeSlot(60));
  EXPECT_TRUE(pacer.TakeSlot(120));
}

}  // namespace
}  // namespace orvane
