#include "video/frame_pacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

constexpr uint64_t kMs = 1000000;
constexpr uint64_t kSecond = 1000 * kMs;

TEST(FramePacerTest, IntervalFollowsTheFrameRateWithAFloorOf15) {
  struct Case {
    uint32_t fps;
    uint64_t interval_ns;
  };
  const Case cases[] = {
      {60, 16666666}, {30, 33333333}, {120, 8333333}, {15, 66666666},
      {10, 66666666}, {0, 66666666},  {1000, kMs},    {5000, kMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fps);
    EXPECT_EQ(FramePacer::IntervalNs(c.fps), c.interval_ns);
  }
}

// A simulated clock whose sleeps end only on a timer tick: a sleep lasts at least what
// was asked, rounded up to the next multiple of `granularity_ns`.
class SimulatedClock {
 public:
  explicit SimulatedClock(uint64_t granularity_ns, uint64_t start_ns = 0)
      : granularity_ns_(granularity_ns), now_ns_(start_ns) {}

  FramePacer::Clock Clock() {
    return {[this] { return now_ns_; },
            [this](uint64_t ns) {
              const uint64_t wake = now_ns_ + ns;
              now_ns_ = (wake + granularity_ns_ - 1) / granularity_ns_ * granularity_ns_;
            }};
  }
  uint64_t now_ns() const { return now_ns_; }
  void Advance(uint64_t ns) { now_ns_ += ns; }

 private:
  uint64_t granularity_ns_;
  uint64_t now_ns_;
};

// The frame loop's shape: a slot decision, then the wait of one 1 ms poll.
std::vector<uint64_t> SlotTimes(FramePacer& pacer, SimulatedClock& clock, uint64_t until_ns,
                                uint32_t fps) {
  std::vector<uint64_t> slots;
  while (clock.now_ns() < until_ns) {
    if (pacer.TakeSlot(fps)) {
      slots.push_back(clock.now_ns());
    }
    pacer.Wait(kMs);
  }
  return slots;
}

// Sleeps that end on Windows' default 15.625 ms tick, or on a fine timer, must still give
// the asked frame rate: the deadlines, not the wake-ups, set the pace.
TEST(FramePacerTest, KeepsTheFrameRateWhateverTheSleepGranularity) {
  struct Case {
    uint64_t granularity_ns;
    uint32_t fps;
    size_t frames_per_second;
  };
  const Case cases[] = {
      {15625000, 60, 60}, {15625000, 30, 30}, {15625000, 15, 15},
      {500000, 60, 60},   {1, 60, 60},        {1, 120, 120},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.fps << " fps, sleeps of " << c.granularity_ns << " ns");
    SimulatedClock clock(c.granularity_ns);
    FramePacer pacer(clock.Clock());
    const size_t frames = SlotTimes(pacer, clock, 3 * kSecond, c.fps).size();
    EXPECT_NEAR(static_cast<double>(frames), 3.0 * c.frames_per_second, 1.0);
  }
}

TEST(FramePacerTest, FirstIterationTakesASlotThenOneSlotPerInterval) {
  SimulatedClock clock(1, 5 * kSecond);
  FramePacer pacer(clock.Clock());
  const std::vector<uint64_t> slots = SlotTimes(pacer, clock, 5 * kSecond + 50 * kMs, 60);
  EXPECT_EQ(slots, (std::vector<uint64_t>{5 * kSecond, 5 * kSecond + 16666666,
                                          5 * kSecond + 33333332, 5 * kSecond + 49999998}));
}

TEST(FramePacerTest, LateSlotIsNotMadeUpAndTheNextIsCountedFromIt) {
  SimulatedClock clock(1, 100 * kMs);
  FramePacer pacer(clock.Clock());
  ASSERT_TRUE(pacer.TakeSlot(60));
  clock.Advance(50 * kMs);  // a capture that stalled for three intervals
  EXPECT_TRUE(pacer.TakeSlot(60));
  EXPECT_FALSE(pacer.TakeSlot(60));
  clock.Advance(16 * kMs);
  EXPECT_FALSE(pacer.TakeSlot(60));
  clock.Advance(kMs);
  EXPECT_TRUE(pacer.TakeSlot(60));
  // Late by less than an interval: the next deadline stays one interval after this
  // slot's deadline (200 ms), not after the moment it was taken (208.7 ms).
  clock.Advance(25 * kMs);  // 8.7 ms past the deadline
  EXPECT_TRUE(pacer.TakeSlot(60));
  clock.Advance(7 * kMs);
  EXPECT_FALSE(pacer.TakeSlot(60));
  clock.Advance(kMs);
  EXPECT_TRUE(pacer.TakeSlot(60));
}

TEST(FramePacerTest, NewFrameRateAppliesToTheNextDecision) {
  SimulatedClock clock(1);
  FramePacer pacer(clock.Clock());
  ASSERT_TRUE(pacer.TakeSlot(60));
  clock.Advance(10 * kMs);
  EXPECT_FALSE(pacer.TakeSlot(60));
  EXPECT_TRUE(pacer.TakeSlot(120));
}

TEST(FramePacerTest, WaitsNoLongerThanTheNextDeadline) {
  SimulatedClock clock(1);
  FramePacer pacer(clock.Clock());
  pacer.Wait(kMs);
  EXPECT_EQ(clock.now_ns(), kMs) << "before the first slot, one poll";
  ASSERT_TRUE(pacer.TakeSlot(60));
  pacer.Wait(40 * kMs);
  EXPECT_EQ(clock.now_ns(), kMs + 16666666);
  pacer.Wait(kMs);
  EXPECT_EQ(clock.now_ns(), kMs + 16666666) << "a slot is due: no sleep";
}

}  // namespace
}  // namespace orvane
