#include "client/delay_samples.h"

#include <gtest/gtest.h>

namespace orvane::client {
namespace {

TEST(DelaySamplesTest, NearestRankPercentiles) {
  DelaySamples delays;
  EXPECT_FALSE(delays.Percentile(50));
  // Added out of order, with a negative delay from clocks that differ.
  for (int64_t delay :
       {700, -5, 300, 100, 900, 200, 1000, 400, 800, 500, 600, 0, 0, 0, 0, 0, 0, 0, 0, 0}) {
    delays.Add(delay);
  }
  const struct {
    double percent;
    int64_t expected;
  } cases[] = {{50, 0}, {95, 900}, {100, 1000}, {1, -5}};
  for (const auto& test : cases) {
    EXPECT_EQ(delays.Percentile(test.percent), test.expected) << test.percent;
  }
}

}  // namespace
}  // namespace orvane::client
