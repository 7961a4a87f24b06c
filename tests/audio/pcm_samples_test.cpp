#include "audio/pcm_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace orvane {
namespace {

TEST(PcmSamplesTest, FloatSamplesAreClampedAndTruncated) {
  const std::vector<float> in = {1.5f,
                                 -1.5f,
                                 0.5f,
                                 -0.5f,
                                 1.0f,
                                 -1.0f,
                                 0.0f,
                                 1e-6f,
                                 std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity()};
  const std::vector<int16_t> expected = {32767,  -32767, 16383, -16383, 32767,
                                         -32767, 0,      0,     0,      32767};
  std::vector<int16_t> out(in.size());
  FloatToS16(in, out.data());
  EXPECT_EQ(out, expected);
}

TEST(PcmSamplesTest, OnlyAllZeroBlocksAreSilent) {
  EXPECT_TRUE(IsSilent(std::vector<int16_t>(960, 0)));
  std::vector<int16_t> quiet(960, 0);
  quiet[959] = -1;
  EXPECT_FALSE(IsSilent(quiet));
}

TEST(PcmSamplesTest, CounterTicksBecomeMicrosecondsPastTheOverflowOfA64BitProduct) {
  struct Case {
    uint64_t ticks, frequency, micros;
  };
  const Case cases[] = {
      {10'000'000, 10'000'000, 1'000'000},
      {15, 10, 1'500'000},
      {480, 48000, 10'000},
      // 30 days of a 10 MHz counter: ticks × 10^6 no longer fits in 64 bits.
      {30ull * 86400 * 10'000'000, 10'000'000, 30ull * 86400 * 1'000'000},
      {std::numeric_limits<uint64_t>::max(), 1'000'000, std::numeric_limits<uint64_t>::max()},
      {12345, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TicksToMicros(c.ticks, c.frequency), c.micros) << c.ticks << " / " << c.frequency;
  }
}

}  // namespace
}  // namespace orvane
