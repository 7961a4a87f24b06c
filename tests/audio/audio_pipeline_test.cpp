#include "audio/audio_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "audio/fake_audio_capture.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

struct SentPacket {
  uint32_t sequence;
  uint64_t timestamp_us;
  uint8_t duration_ms;
  uint32_t size;
};

// A pipeline over one fake capture, sending into a list; the test delivers the blocks
// and moves the millisecond clock.
class AudioPipelineTest : public ::testing::Test {
 protected:
  void Build(FakeAudioCapture::Options options = {}) {
    pipeline_ = std::make_unique<AudioPipeline>(
        [this, options]() -> std::unique_ptr<LoopbackAudioCapture> {
          auto capture = std::make_unique<FakeAudioCapture>(record_, options);
          capture_ = capture.get();
          return capture;
        },
        OpusTransformFactory{}, [this] { return now_ms_; });
  }

  void Start(bool audio_enabled) {
    pipeline_->Start(
        audio_enabled,
        [this](uint32_t sequence, uint64_t timestamp_us, uint8_t duration_ms, const uint8_t*,
               uint32_t size) {
          sent_.push_back({sequence, timestamp_us, duration_ms, size});
        },
        streaming_);
  }

  // `count` blocks of 10 ms from `timestamp_us` on, the clock moving along.
  void DeliverBlocks(int count, uint64_t timestamp_us, uint32_t channels = 0) {
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(capture_->Deliver(480, timestamp_us + uint64_t(i) * 10000, channels));
      now_ms_ += 10;
    }
  }

  std::vector<uint32_t> Sequences() const {
    std::vector<uint32_t> sequences;
    for (const SentPacket& packet : sent_) {
      sequences.push_back(packet.sequence);
    }
    return sequences;
  }

  LogCapture log_;
  std::shared_ptr<FakeCaptureRecord> record_ = std::make_shared<FakeCaptureRecord>();
  FakeAudioCapture* capture_ = nullptr;
  std::unique_ptr<AudioPipeline> pipeline_;
  std::atomic<bool> streaming_{true};
  uint64_t now_ms_ = 1000;
  std::vector<SentPacket> sent_;
};

TEST_F(AudioPipelineTest, AStreamWithoutAudioStartsNeitherEncoderNorCapture) {
  Build();
  ASSERT_TRUE(pipeline_->Initialize());
  Start(false);
  EXPECT_EQ(record_->started.load(), 0);
  EXPECT_FALSE(log_.Contains("[OpusEnc]"));
  pipeline_->Stop();
}

TEST_F(AudioPipelineTest, SequenceNumbersRunOnAcrossStreams) {
  Build();
  ASSERT_TRUE(pipeline_->Initialize());
  Start(true);
  DeliverBlocks(4, 1000000);
  pipeline_->Stop();
  EXPECT_EQ(record_->stopped.load(), 1);
  Start(true);
  DeliverBlocks(6, 9000000);
  pipeline_->Stop();
  EXPECT_EQ(Sequences(), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  ASSERT_EQ(sent_.size(), 5u);
  EXPECT_EQ(sent_[1].timestamp_us, 1020000u);
  EXPECT_EQ(sent_[2].timestamp_us, 9000000u);  // the new stream's timing starts afresh
  EXPECT_EQ(sent_[4].duration_ms, 20);
  EXPECT_GT(sent_[4].size, 0u);
  // Waiting for the second half of a frame is ordinary: it is never logged.
  EXPECT_FALSE(log_.Contains("[AudioPipeline] Encode skipped/failure"));
}

TEST_F(AudioPipelineTest, BlocksOutsideTheStreamingStateAreDroppedUnencoded) {
  Build();
  ASSERT_TRUE(pipeline_->Initialize());
  Start(true);
  streaming_ = false;
  DeliverBlocks(3, 1000000);
  EXPECT_TRUE(sent_.empty());
  streaming_ = true;
  DeliverBlocks(2, 2000000);
  // Had the earlier blocks reached the encoder, this packet would start with them.
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].timestamp_us, 2000000u);
  EXPECT_EQ(sent_[0].sequence, 0u);
  pipeline_->Stop();
}

TEST_F(AudioPipelineTest, EncodeFailuresAreReportedAtMostOnceASecond) {
  Build();
  ASSERT_TRUE(pipeline_->Initialize());
  Start(true);
  DeliverBlocks(100, 1000000, 1);  // every block refused: the encoder has two channels
  EXPECT_EQ(log_.Count("[AudioPipeline] Encode skipped/failure code=6 msg=Audio channel count "
                       "changed during Opus encoding hr=0x80004005"),
            1u);
  DeliverBlocks(1, 3000000, 1);
  EXPECT_EQ(log_.Count("[AudioPipeline] Encode skipped/failure"), 2u);
  EXPECT_TRUE(sent_.empty());
  pipeline_->Stop();
}

TEST_F(AudioPipelineTest, WithoutCaptureTheStreamGoesOnSilent) {
  Build({.works = false, .sample_rate = 44100, .channels = 6});
  EXPECT_FALSE(pipeline_->Initialize());
  EXPECT_TRUE(
      log_.Contains("[AudioPipeline] Audio capture init failed code=7 msg=Default audio "
                    "endpoint is unavailable hr=0x80070490 -- audio will be unavailable"));
  Start(true);
  // The encoder is still set up, with the defaults instead of the capture's format.
  EXPECT_TRUE(log_.Contains("[OpusEnc] Opus libopus fallback initialized: 48000Hz, 2ch, 64kbps"));
  EXPECT_TRUE(
      log_.Contains("[AudioPipeline] Audio capture start failed code=7 msg=Audio capture "
                    "was not initialized before Start() hr=0x80004005"));
  EXPECT_EQ(record_->started.load(), 0);
  pipeline_->Stop();
}

TEST_F(AudioPipelineTest, AFormatNoEncoderTakesIsWarnedAboutAndCaptureRunsOn) {
  Build({.sample_rate = 44100});
  ASSERT_TRUE(pipeline_->Initialize());
  Start(true);
  EXPECT_TRUE(
      log_.Contains("[AudioPipeline] Opus encoder init issue code=6 msg=libopus init "
                    "failed: invalid argument (err=-1) hr=0x80004005"));
  EXPECT_EQ(record_->started.load(), 1);
  DeliverBlocks(3, 1000000);
  EXPECT_EQ(log_.Count("[AudioPipeline] Encode skipped/failure code=6 msg=Opus encoder is not "
                       "initialized"),
            1u);
  pipeline_->Stop();
}

}  // namespace
}  // namespace orvane::testing
