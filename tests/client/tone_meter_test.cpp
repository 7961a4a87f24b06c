#include "client/tone_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace orvane::client {
namespace {

// One second of stereo: a sine in the left channel plus a little alternating noise.
std::vector<int16_t> Tone(double frequency, double amplitude, int noise) {
  std::vector<int16_t> samples(48000 * 2);
  for (size_t frame = 0; frame < 48000; ++frame) {
    const double value =
        amplitude * 32767.0 * std::sin(2 * std::numbers::pi * frequency * frame / 48000);
    samples[frame * 2] =
        static_cast<int16_t>(std::lround(value) + (frame % 2 == 0 ? noise : -noise));
    samples[frame * 2 + 1] = 12345;  // the other channel is not measured
  }
  return samples;
}

TEST(ToneMeterTest, MeasuresFrequencyAndLevelOfTheFirstChannel) {
  const struct {
    double frequency, amplitude;
    int noise;
  } cases[] = {{1000, 0.5, 0}, {440, 0.1, 40}, {5000, 0.9, 60}};
  for (const auto& c : cases) {
    ToneMeter meter(48000);
    meter.Add(Tone(c.frequency, c.amplitude, c.noise), 2);
    ASSERT_TRUE(meter.FrequencyHz() && meter.LevelDbfs());
    EXPECT_NEAR(*meter.FrequencyHz(), c.frequency, 0.5) << c.frequency;
    EXPECT_NEAR(*meter.LevelDbfs(), 20 * std::log10(c.amplitude / std::sqrt(2.0)), 0.2)
        << c.frequency;
    EXPECT_DOUBLE_EQ(meter.seconds(), 1.0);
  }
}

TEST(ToneMeterTest, NoiseAroundZeroIsNoTone) {
  ToneMeter meter(48000);
  EXPECT_FALSE(meter.LevelDbfs());
  meter.Add(Tone(1000, 0, 60), 2);
  EXPECT_FALSE(meter.FrequencyHz());
  EXPECT_LT(*meter.LevelDbfs(), -50);
}

}  // namespace
}  // namespace orvane::client
