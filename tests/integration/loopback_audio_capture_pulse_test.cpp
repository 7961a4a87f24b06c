#include "audio/loopback_audio_capture_pulse.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <vector>

#include "audio/fake_audio_capture.h"
#include "integration/pulse_server.h"
#include "platform/clock.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

struct Block {
  uint32_t frames, channels;
  uint64_t timestamp_us, received_us;
  bool silent;
};

// Collects what the capture delivers, from its thread.
class BlockLog {
 public:
  PcmCallback Callback() {
    return [this](const int16_t* samples, uint32_t frames, uint32_t channels, uint64_t timestamp) {
      bool silent = true;
      for (size_t i = 0; i < size_t{frames} * channels; ++i) {
        silent &= samples[i] == 0;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      blocks_.push_back({frames, channels, timestamp, MonotonicMicros(), silent});
    };
  }
  std::vector<Block> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(blocks_);
  }
  size_t size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocks_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<Block> blocks_;
};

class PulseCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.started()); }

  TempFolder folder_{"orvane-pulse"};
  PulseServer server_{folder_.path(), {"speakers", "headphones"}};
  LogCapture log_;
  BlockLog blocks_;
  const std::vector<int16_t> tone_ = Sine(48000 / 2, 2, 1000.0, 48000, 0.5);
};

TEST_F(PulseCaptureTest, DeliversTenMillisecondBlocksOfWhatPlaysStampedWithTheirCaptureTime) {
  PulseLoopbackCapture capture(server_.address());
  ASSERT_TRUE(capture.Initialize());
  EXPECT_EQ(capture.sample_rate(), 48000u);
  EXPECT_EQ(capture.channels(), 2u);
  EXPECT_TRUE(log_.Contains("[Audio] Mix format: 48000Hz, 2ch, 16bit"));
  EXPECT_TRUE(log_.Contains("[Audio] PulseAudio loopback initialized: speakers.monitor"));
  ASSERT_TRUE(capture.Start(blocks_.Callback()));
  EXPECT_TRUE(log_.Contains("[Audio] Capture started"));

  // Silence is not delivered.
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(blocks_.size(), 0u);

  const uint64_t before_us = MonotonicMicros();
  ASSERT_TRUE(server_.Play(tone_, "speakers"));
  ASSERT_TRUE(WaitUntil([&] { return blocks_.size() >= 40; }, 5s));
  const std::vector<Block> blocks = blocks_.Take();
  for (size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].frames, 480u);
    EXPECT_EQ(blocks[i].channels, 2u);
    EXPECT_FALSE(blocks[i].silent);
    EXPECT_GE(blocks[i].timestamp_us, before_us);
    EXPECT_LE(blocks[i].timestamp_us, blocks[i].received_us);
    // Back-dated by what waited to be read, which the server keeps near one block.
    EXPECT_LT(blocks[i].received_us - blocks[i].timestamp_us, 200000u);
    if (i > 0) {
      EXPECT_GT(blocks[i].timestamp_us, blocks[i - 1].timestamp_us);
    }
  }
  capture.Stop();
  const size_t after_stop = blocks_.size();
  ASSERT_TRUE(server_.Play(tone_, "speakers"));
  EXPECT_EQ(blocks_.size(), after_stop);

  // Start again after a stop.
  ASSERT_TRUE(capture.Start(blocks_.Callback()));
  ASSERT_TRUE(server_.Play(tone_, "speakers"));
  EXPECT_TRUE(WaitUntil([&] { return blocks_.size() > after_stop + 20; }, 5s));
  capture.Stop();
}

TEST_F(PulseCaptureTest, FollowsTheDefaultSink) {
  PulseLoopbackCapture capture(server_.address());
  ASSERT_TRUE(capture.Initialize());
  ASSERT_TRUE(capture.Start(blocks_.Callback()));
  // The other sink is not what the computer plays through yet.
  ASSERT_TRUE(server_.Play(tone_, "headphones"));
  EXPECT_EQ(blocks_.size(), 0u);

  ASSERT_TRUE(server_.SetDefaultSink("headphones"));
  ASSERT_TRUE(log_.WaitFor("[Audio] Default sink is now headphones"));
  ASSERT_TRUE(server_.Play(tone_, "headphones"));
  EXPECT_TRUE(WaitUntil([&] { return blocks_.size() >= 20; }, 5s));
  const size_t on_headphones = blocks_.size();
  ASSERT_TRUE(server_.Play(tone_, "speakers"));
  EXPECT_EQ(blocks_.size(), on_headphones);
  capture.Stop();
}

// A sink at 44.1 kHz with six channels (a stock server's rate, a 5.1 card) is still
// delivered as 48 kHz stereo, the format Opus takes.
TEST(PulseCaptureOfSurroundSinkTest, DeliversTheToneAs48kHzStereo) {
  TempFolder folder("orvane-pulse");
  PulseServer server(folder.path(), {"speakers"}, {44100, 6});
  ASSERT_TRUE(server.started());
  LogCapture log;
  BlockLog blocks;
  PulseLoopbackCapture capture(server.address());
  ASSERT_TRUE(capture.Initialize());
  EXPECT_TRUE(log.Contains("[Audio] Mix format: 44100Hz, 6ch, 16bit"));
  EXPECT_EQ(capture.sample_rate(), 48000u);
  EXPECT_EQ(capture.channels(), 2u);
  ASSERT_TRUE(capture.Start(blocks.Callback()));
  ASSERT_TRUE(server.Play(Sine(48000 / 2, 2, 1000.0, 48000, 0.5), "speakers"));
  ASSERT_TRUE(WaitUntil([&] { return blocks.size() >= 20; }, 5s));
  capture.Stop();
  for (const Block& block : blocks.Take()) {
    EXPECT_EQ(block.frames, 480u);
    EXPECT_EQ(block.channels, 2u);
  }
}

TEST(PulseCaptureWithoutServerTest, InitializeFailsAndStartSaysSo) {
  LogCapture log;
  TempFolder folder("orvane-pulse");
  PulseLoopbackCapture capture("unix:" + (folder.path() / "native").string());
  EXPECT_FALSE(capture.Initialize());
  EXPECT_EQ(capture.LastStatus().code, 7);
  EXPECT_EQ(capture.LastStatus().message, "Audio server connection failed");
  EXPECT_TRUE(log.Contains("[Audio] pa_context_connect failed: Connection refused"))
      << ::testing::PrintToString(log.Lines());
  EXPECT_FALSE(capture.Start([](const int16_t*, uint32_t, uint32_t, uint64_t) {}));
  EXPECT_EQ(capture.LastStatus().message, "Audio capture was not initialized before Start()");
}

}  // namespace
}  // namespace orvane::testing
