#include "client/keyframe_recovery.h"

#include <gtest/gtest.h>

namespace orvane::client {
namespace {

using namespace std::chrono_literals;
using Clock = KeyframeRecovery::Clock;

TEST(KeyframeRecoveryTest, AsksOnceALossThenAgainEveryRetryUntilAWholeKeyframe) {
  KeyframeRecovery recovery(500ms);
  const Clock::time_point t0 = Clock::now();
  EXPECT_FALSE(recovery.TakeRequestDue(t0)) << "nothing lost, nothing to ask";

  recovery.OnFrameLost(t0);
  recovery.OnFrameLost(t0 + 5ms);  // the same broken picture
  EXPECT_TRUE(recovery.TakeRequestDue(t0 + 10ms));
  EXPECT_FALSE(recovery.TakeRequestDue(t0 + 500ms));
  // The keyframe's first datagram arrives but the keyframe never completes.
  recovery.OnKeyframeStarted(t0 + 40ms);
  recovery.OnKeyframeStarted(t0 + 45ms);
  EXPECT_TRUE(recovery.TakeRequestDue(t0 + 510ms));
  recovery.OnKeyframeComplete(t0 + 600ms);
  EXPECT_FALSE(recovery.TakeRequestDue(t0 + 2s));

  const KeyframeRecovery::Summary summary = recovery.summary();
  EXPECT_EQ(summary.losses, 1u);
  EXPECT_EQ(summary.requests, 2u);
  EXPECT_EQ(summary.answered, 1u);
  EXPECT_EQ(summary.recovered, 1u);
  EXPECT_EQ(summary.answer_us.Percentile(50), 30000);
  EXPECT_EQ(summary.recovery_us.Percentile(50), 600000);
}

// A keyframe already on its way recovers the picture but answers no request, and a
// keyframe with nothing lost is just a keyframe.
TEST(KeyframeRecoveryTest, KeyframesBeforeARequestAnswerNothing) {
  KeyframeRecovery recovery(500ms);
  const Clock::time_point t0 = Clock::now();
  recovery.OnKeyframeStarted(t0);
  recovery.OnKeyframeComplete(t0);
  recovery.OnFrameLost(t0 + 1s);
  recovery.OnKeyframeStarted(t0 + 1s);
  recovery.OnKeyframeComplete(t0 + 1s + 3ms);
  EXPECT_FALSE(recovery.TakeRequestDue(t0 + 2s));

  const KeyframeRecovery::Summary summary = recovery.summary();
  EXPECT_EQ(summary.losses, 1u);
  EXPECT_EQ(summary.requests, 0u);
  EXPECT_EQ(summary.answered, 0u);
  EXPECT_EQ(summary.recovered, 1u);
  EXPECT_EQ(summary.recovery_us.Percentile(50), 3000);
}

}  // namespace
}  // namespace orvane::client
