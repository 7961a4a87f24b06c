#include "video/keyframe_policy.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

constexpr uint64_t kSecondUs = 1000000;

class KeyframePolicyTest : public ::testing::Test {
 protected:
  uint64_t now_us_ = 42 * kSecondUs;
  KeyframePolicy policy_{[this] { return now_us_; }};
};

TEST_F(KeyframePolicyTest, WarmupForcesKeyframesAtTheFirstThreeFramesAndEvery15th) {
  std::vector<uint64_t> forced;
  for (uint64_t frame = 1; frame <= 61; ++frame) {
    if (policy_.PlanFrame(frame, false, 8000).force_keyframe) {
      forced.push_back(frame);
    }
  }
  EXPECT_EQ(forced, (std::vector<uint64_t>{1, 2, 3, 16, 31, 46, 61}));
}

TEST_F(KeyframePolicyTest, WarmupEndsAfterEightSeconds) {
  struct Case {
    uint64_t elapsed_us;
    bool warmup;
    uint32_t bitrate_kbps;
    bool frame_16_forced;
    bool keyframes_doubled;
  };
  const Case cases[] = {
      {0, true, 1200, true, true},
      {8 * kSecondUs, true, 1200, true, true},
      {8 * kSecondUs + 1, false, 8000, false, false},
      {60 * kSecondUs, false, 8000, false, false},
  };
  const uint64_t start = now_us_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.elapsed_us);
    now_us_ = start + c.elapsed_us;
    EXPECT_EQ(policy_.InWarmup(), c.warmup);
    const FramePlan plan = policy_.PlanFrame(16, false, 8000);
    EXPECT_EQ(plan.bitrate_kbps, c.bitrate_kbps);
    EXPECT_EQ(plan.force_keyframe, c.frame_16_forced);
    EXPECT_EQ(plan.duplicate_keyframes, c.keyframes_doubled);
  }
}

TEST_F(KeyframePolicyTest, OpeningFramesAreForcedEvenAfterWarmup) {
  now_us_ += 9 * kSecondUs;
  for (uint64_t frame : {1, 2, 3}) {
    SCOPED_TRACE(frame);
    const FramePlan plan = policy_.PlanFrame(frame, false, 8000);
    EXPECT_TRUE(plan.force_keyframe);
    EXPECT_FALSE(plan.duplicate_keyframes);
  }
  EXPECT_FALSE(policy_.PlanFrame(4, false, 8000).force_keyframe);
}

TEST_F(KeyframePolicyTest, BitrateIsTheControllersValueCappedDuringWarmup) {
  struct Case {
    uint64_t elapsed_us;
    uint32_t abr_kbps;
    uint32_t applied_kbps;
    bool changed;
  };
  const Case cases[] = {
      {0, 8000, 1200, true},
      {1 * kSecondUs, 8000, 1200, false},
      {2 * kSecondUs, 1000, 1000, true},
      {3 * kSecondUs, 5600, 1200, true},
      {9 * kSecondUs, 5600, 5600, true},
      {10 * kSecondUs, 5600, 5600, false},
      {11 * kSecondUs, 6100, 6100, true},
  };
  const uint64_t start = now_us_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.elapsed_us);
    now_us_ = start + c.elapsed_us;
    const FramePlan plan = policy_.PlanFrame(100, false, c.abr_kbps);
    EXPECT_EQ(plan.bitrate_kbps, c.applied_kbps);
    EXPECT_EQ(plan.bitrate_changed, c.changed);
  }
}

TEST_F(KeyframePolicyTest, ClientRequestForcesAndDoublesOnlyItsOwnFrame) {
  now_us_ += 20 * kSecondUs;
  const FramePlan requested = policy_.PlanFrame(500, true, 8000);
  EXPECT_TRUE(requested.force_keyframe);
  EXPECT_EQ(requested.CopiesOf(true), 2u);
  EXPECT_EQ(requested.CopiesOf(false), 1u);

  const FramePlan next = policy_.PlanFrame(501, false, 8000);
  EXPECT_FALSE(next.force_keyframe);
  EXPECT_EQ(next.CopiesOf(true), 1u);
}

TEST(SendAccessUnitTest, EachCopyTravelsUnderTheNextFrameNumber) {
  struct Case {
    const char* name;
    bool duplicate_keyframes;
    bool keyframe;
    std::vector<uint64_t> numbers;
  };
  const Case cases[] = {
      {"warm-up keyframe", true, true, {7, 8}},
      {"warm-up delta frame", true, false, {7}},
      {"keyframe after warm-up", false, true, {7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FramePlan plan;
    plan.duplicate_keyframes = c.duplicate_keyframes;
    uint64_t counter = 7;
    std::vector<uint64_t> numbers;
    const SendOutcome outcome = SendAccessUnit(plan, c.keyframe, counter, [&](uint64_t number) {
      numbers.push_back(number);
      return true;
    });
    EXPECT_EQ(numbers, c.numbers);
    EXPECT_EQ(counter, 7 + c.numbers.size());
    EXPECT_EQ(outcome.sent, c.numbers.size());
    EXPECT_EQ(outcome.failed, 0u);
  }
}

TEST(SendAccessUnitTest, AFailedCopyStillUsesItsNumber) {
  FramePlan plan;
  plan.duplicate_keyframes = true;
  uint64_t counter = 0;
  std::vector<uint64_t> numbers;
  const SendOutcome outcome = SendAccessUnit(plan, true, counter, [&](uint64_t number) {
    numbers.push_back(number);
    return number != 0;
  });
  EXPECT_EQ(numbers, (std::vector<uint64_t>{0, 1}));
  EXPECT_EQ(counter, 2u);
  EXPECT_EQ(outcome.sent, 1u);
  EXPECT_EQ(outcome.failed, 1u);
}

}  // namespace
}  // namespace orvane
