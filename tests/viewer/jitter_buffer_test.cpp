#include "viewer/jitter_buffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace orvane::viewer {
namespace {

// One channel at 1 kHz: a frame is a millisecond, so frames and milliseconds read alike.
JitterBuffer::Settings Small() {
  return {.sample_rate = 1000,
          .channels = 1,
          .base_ms = 40,
          .step_ms = 10,
          .max_ms = 60,
          .calm_ms = 100};
}

std::vector<int16_t> Ramp(int16_t first, size_t count) {
  std::vector<int16_t> samples(count);
  std::iota(samples.begin(), samples.end(), first);
  return samples;
}

std::vector<int16_t> Pull(JitterBuffer& buffer, size_t count) {
  std::vector<int16_t> out(count, -1);
  buffer.Pull(out);
  return out;
}

TEST(JitterBufferTest, PlaysSilenceUntilTheTargetIsBufferedThenEverythingInOrder) {
  JitterBuffer buffer(Small());
  buffer.Push(Ramp(1, 30));
  EXPECT_EQ(Pull(buffer, 10), std::vector<int16_t>(10, 0));
  EXPECT_FALSE(buffer.playing());
  buffer.Push(Ramp(31, 10));
  EXPECT_TRUE(buffer.playing());
  EXPECT_EQ(Pull(buffer, 40), Ramp(1, 40));
  EXPECT_EQ(buffer.underruns(), 0u);
}

TEST(JitterBufferTest, AnUnderrunPlaysSilenceRaisesTheTargetAndPrimesAgain) {
  JitterBuffer buffer(Small());
  buffer.Push(Ramp(1, 40));
  std::vector<int16_t> expected = Ramp(1, 40);
  expected.resize(50, 0);
  EXPECT_EQ(Pull(buffer, 50), expected);
  EXPECT_EQ(buffer.underruns(), 1u);
  EXPECT_EQ(buffer.target_ms(), 50u);
  buffer.Push(Ramp(1, 40));
  EXPECT_FALSE(buffer.playing());
  buffer.Push(Ramp(41, 10));
  EXPECT_TRUE(buffer.playing());
}

TEST(JitterBufferTest, LateAudioBeyondTwiceTheTargetIsDroppedOldestFirst) {
  JitterBuffer buffer(Small());
  buffer.Push(Ramp(1, 81));
  EXPECT_EQ(buffer.buffered_frames(), 40u);
  EXPECT_EQ(buffer.dropped_frames(), 41u);
  EXPECT_EQ(Pull(buffer, 40), Ramp(42, 40));
}

TEST(JitterBufferTest, TheTargetRisesToItsCapAndFallsBackToTheBaseWhenCalm) {
  JitterBuffer buffer(Small());
  for (const uint32_t expected : {50u, 60u, 60u}) {
    buffer.Push(Ramp(1, buffer.target_ms()));
    Pull(buffer, buffer.target_ms() + 1);
    EXPECT_EQ(buffer.target_ms(), expected);
  }
  // Primed once, then fed as fast as it plays: 100 ms later the target steps down.
  buffer.Push(Ramp(1, buffer.target_ms()));
  for (const uint32_t expected : {50u, 40u, 40u}) {
    for (int i = 0; i < 10; ++i) {
      buffer.Push(Ramp(1, 10));
      Pull(buffer, 10);
    }
    EXPECT_EQ(buffer.target_ms(), expected);
  }
  EXPECT_EQ(buffer.underruns(), 3u);
}

TEST(JitterBufferTest, OnlyWholeFramesAreKept) {
  JitterBuffer buffer({.sample_rate = 1000, .channels = 2, .base_ms = 2});
  buffer.Push(std::vector<int16_t>{1, 2, 3, 4, 5});
  EXPECT_EQ(buffer.buffered_frames(), 2u);
  EXPECT_EQ(Pull(buffer, 4), (std::vector<int16_t>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace orvane::viewer
