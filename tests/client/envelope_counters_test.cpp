#include "client/envelope_counters.h"

#include <gtest/gtest.h>

namespace orvane::client {
namespace {

TEST(EnvelopeCountersTest, CountsRepeatsReorderingAndSkippedValues) {
  EnvelopeCounters counters;
  for (uint64_t counter : {5u, 6u, 8u, 8u, 7u, 9u}) {
    counters.AddSealed(counter);
  }
  counters.AddBare();
  EXPECT_EQ(counters.sealed(), 6u);
  EXPECT_EQ(counters.bare(), 1u);
  EXPECT_EQ(counters.not_increasing(), 2u);  // the second 8, and 7 after 8
  EXPECT_EQ(counters.skipped(), 1u);         // 7 was skipped when 8 came
}

}  // namespace
}  // namespace orvane::client
