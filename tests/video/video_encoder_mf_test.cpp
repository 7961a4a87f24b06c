#include "video/video_encoder_mf.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <objbase.h>

#include <vector>

#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::LogCapture;

// Media Foundation for the test's lifetime, as the host starts it.
class MediaFoundation {
 public:
  MediaFoundation() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    started_ = SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
  }
  ~MediaFoundation() {
    if (started_) {
      MFShutdown();
    }
    CoUninitialize();
  }
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

TEST(MfVideoEncoderTest, CallsBeforeInitializeReportAnUninitialisedEncoder) {
  MfVideoEncoder encoder;
  const std::vector<uint8_t> frame(64 * 64 * 4, 0);
  EXPECT_FALSE(encoder.EncodeFrame(frame.data(), 64 * 4, 64, 64, 0));
  EXPECT_EQ(encoder.LastStatus().code, 6);
  EXPECT_EQ(encoder.LastStatus().message, "Encoder is not initialized");
  EXPECT_EQ(encoder.LastStatus().hr, 0x80004005u);
  EncodedAccessUnit unit;
  EXPECT_FALSE(encoder.ReceiveAccessUnit(unit));
  EXPECT_EQ(encoder.LastStatus().message, "Encoder is not initialized");
  encoder.RequestKeyframe();  // nothing to ask without a transform
}

// Either the machine has an H.264 encoder transform and frames come out, or the stream
// start fails with the encoder's own reasons; never anything in between.
TEST(MfVideoEncoderTest, StreamsWhereAnEncoderExistsAndFailsCleanlyWhereNone) {
  MediaFoundation media_foundation;
  ASSERT_TRUE(media_foundation.started());
  LogCapture log;
  MfVideoEncoder encoder;
  if (!encoder.Initialize(VideoCodec::kH264, 320, 240, 30, 2000)) {
    EXPECT_TRUE(log.Contains("[Encoder] No hardware encoder found for H264"));
    EXPECT_TRUE(
        log.Contains("[Encoder] No hardware encoder available; using the software encoder"));
    EXPECT_TRUE(log.Contains("[Encoder] No software encoder found for H264") ||
                log.Contains("[Encoder] No compatible input type found"));
    EXPECT_EQ(encoder.LastStatus().code, 6);
    EXPECT_EQ(encoder.LastStatus().message, "Failed to configure software encoder");
    EXPECT_EQ(encoder.LastStatus().hr, 0x80004005u);
    GTEST_SKIP() << "no H.264 encoder transform here; the failure path was checked";
  }
  EXPECT_TRUE(log.Contains("[Encoder] Initialized: H264 320x240 @30 fps, 2000 kbps"));
  std::vector<uint8_t> frame(320 * 240 * 4, 0x80);
  size_t units = 0;
  for (uint64_t i = 0; i < 30 && units == 0; ++i) {
    encoder.RequestKeyframe();
    ASSERT_TRUE(encoder.EncodeFrame(frame.data(), 320 * 4, 320, 240, i * 33333))
        << encoder.LastStatus().message;
    EncodedAccessUnit unit;
    while (encoder.ReceiveAccessUnit(unit)) {
      units += unit.bytes.empty() ? 0 : 1;
    }
  }
  EXPECT_GT(units, 0u);
  encoder.Shutdown();
}

}  // namespace
}  // namespace orvane
