#include "viewer/clock_offset.h"

#include <gtest/gtest.h>

namespace orvane::viewer {
namespace {

TEST(ClockOffsetTest, TheHostsReadingIsTakenAtTheMiddleOfTheRoundTrip) {
  const struct {
    uint64_t sent, host, received;
    int64_t offset;
  } cases[] = {
      {1'000, 5'500, 2'000, 4'000},               // host ahead
      {9'000'000, 1'000, 9'000'400, -8'999'200},  // host behind
      {7'000, 7'000, 7'000, 0},                   // no time in flight
  };
  for (const auto& one : cases) {
    ClockOffset clock;
    clock.AddRoundTrip(one.sent, one.host, one.received);
    ASSERT_TRUE(clock.offset_us());
    EXPECT_EQ(*clock.offset_us(), one.offset);
    EXPECT_EQ(*clock.ToLocal(one.host), static_cast<int64_t>((one.sent + one.received) / 2));
  }
}

TEST(ClockOffsetTest, TheShortestRoundTripWins) {
  ClockOffset clock;
  EXPECT_FALSE(clock.ToLocal(1));
  clock.AddRoundTrip(1'000, 11'500, 2'000);  // 1 ms: offset 10 ms
  clock.AddRoundTrip(3'000, 33'000, 8'000);  // 5 ms, lopsided: ignored
  EXPECT_EQ(*clock.offset_us(), 10'000);
  EXPECT_EQ(*clock.error_us(), 500);
  clock.AddRoundTrip(9'000, 19'200, 9'200);  // 0.2 ms: taken
  EXPECT_EQ(*clock.offset_us(), 10'100);
  EXPECT_EQ(*clock.error_us(), 100);
  clock.AddRoundTrip(20'000, 1, 19'999);  // came back before it left: ignored
  EXPECT_EQ(*clock.offset_us(), 10'100);
}

TEST(ClockOffsetTest, OneMachineHasOneClock) {
  const ClockOffset same = ClockOffset::SameClock();
  EXPECT_EQ(*same.offset_us(), 0);
  EXPECT_EQ(*same.ToLocal(123'456'789), 123'456'789);
}

}  // namespace
}  // namespace orvane::viewer
