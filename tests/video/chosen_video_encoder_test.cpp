#include "video/chosen_video_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"

namespace orvane {
namespace {

struct ChoiceCase {
  EncoderChoice choice;
  VideoCodec codec;
  // The encoder that opens, or empty when the choice cannot take the codec.
  std::string chosen;
  std::string log_line;
};

// Which encoder each choice opens, and the line that says so. This machine has no
// hardware encoder, so `auto` falls to the software encoders and `hardware` opens nothing.
TEST(ChosenVideoEncoderTest, EachChoiceOpensItsEncoderAndSaysWhy) {
  if (ChosenVideoEncoder(EncoderChoice::kHardware)
          .Initialize(VideoCodec::kH264, 320, 180, 30, 1000)) {
    GTEST_SKIP() << "a hardware encoder opens here; the table is for a machine without one";
  }
  const std::vector<ChoiceCase> cases{
      {EncoderChoice::kOpenH264, VideoCodec::kH264, "openh264",
       "[Encoder] Using openh264 for H264 (asked for)"},
      {EncoderChoice::kX264, VideoCodec::kH264, "libx264",
       "[Encoder] Using libx264 for H264 (asked for)"},
      {EncoderChoice::kAuto, VideoCodec::kH264, "libx264",
       "[Encoder] Using libx264 for H264 (auto: no hardware encoder; the software encoder with "
       "the least time per frame)"},
      {EncoderChoice::kAuto, VideoCodec::kHevc, "libx265", "[Encoder] Using libx265 for HEVC"},
      {EncoderChoice::kOpenH264, VideoCodec::kHevc, "", ""},
      {EncoderChoice::kHardware, VideoCodec::kH264, "", ""}};
  for (const ChoiceCase& test : cases) {
    SCOPED_TRACE(std::string(EncoderChoiceName(test.choice)) + " " + VideoCodecName(test.codec));
    orvane::testing::LogCapture log;
    ChosenVideoEncoder encoder(test.choice);
    const bool opened = encoder.Initialize(test.codec, 320, 180, 30, 1000);
    EXPECT_EQ(opened, !test.chosen.empty());
    EXPECT_EQ(encoder.chosen(), test.chosen);
    if (!opened) {
      EXPECT_FALSE(encoder.LastStatus().ok);
      EXPECT_FALSE(encoder.EncodeFrame(nullptr, 0, 320, 180, 0));
      continue;
    }
    EXPECT_TRUE(log.Contains(test.log_line));
    const std::vector<uint8_t> grey(320 * 180 * 4, 0x80);
    encoder.RequestKeyframe();
    ASSERT_TRUE(encoder.EncodeFrame(grey.data(), 320 * 4, 320, 180, 0));
    EncodedAccessUnit unit;
    ASSERT_TRUE(encoder.ReceiveAccessUnit(unit));
    EXPECT_TRUE(unit.keyframe);
    EXPECT_FALSE(unit.bytes.empty());
  }
}

}  // namespace
}  // namespace orvane
