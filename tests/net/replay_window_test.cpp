#include "net/replay_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

// Each counter in turn is offered and, when fresh, accepted; `fresh` is what IsFresh said.
std::vector<bool> Offer(ReplayWindow& window, const std::vector<uint64_t>& counters) {
  std::vector<bool> fresh;
  for (const uint64_t counter : counters) {
    fresh.push_back(window.IsFresh(counter));
    if (fresh.back()) {
      window.Accept(counter);
    }
  }
  return fresh;
}

TEST(ReplayWindowTest, TakesEachCounterOnceWithinSixtyFourBelowTheHighest) {
  constexpr uint64_t kMax = ~uint64_t{0};
  struct Case {
    const char* name;
    std::vector<uint64_t> counters;
    std::vector<bool> fresh;
  };
  const Case cases[] = {
      {"in order", {0, 1, 2, 3}, {true, true, true, true}},
      {"a repeat of the highest", {5, 5}, {true, false}},
      {"a repeat below the highest", {1, 3, 2, 1, 2}, {true, true, true, false, false}},
      {"reordered inside the window", {100, 40, 37, 99, 40}, {true, true, true, true, false}},
      {"the oldest counter the window holds", {100, 37, 36}, {true, true, false}},
      {"a jump forgets what fell out",
       {1, 2, 200, 2, 136, 137},
       {true, true, true, false, false, true}},
      {"a jump of exactly the window", {10, 74, 10, 11}, {true, true, false, true}},
      {"a jump past the window", {10, 75, 11, 12}, {true, true, false, true}},
      {"the counter's whole range", {kMax, 0, kMax - 63, kMax}, {true, false, true, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReplayWindow window;
    EXPECT_EQ(Offer(window, c.counters), c.fresh);
  }
}

TEST(ReplayWindowTest, RefusedOrUnacceptedCountersLeaveTheWindowAsItWas) {
  ReplayWindow window;
  // Only accepted counters count: asking about a high one moves nothing.
  EXPECT_TRUE(window.IsFresh(1000));
  EXPECT_EQ(Offer(window, {3, 1}), (std::vector<bool>{true, true}));
  EXPECT_TRUE(window.IsFresh(2));

  window.Reset();
  EXPECT_EQ(Offer(window, {3, 1, 0}), (std::vector<bool>{true, true, true}));
}

}  // namespace
}  // namespace orvane
