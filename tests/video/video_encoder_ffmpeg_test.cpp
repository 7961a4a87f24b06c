#include "video/video_encoder_ffmpeg.h"
#include "video/video_encoder_openh264.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "video/handles_ffmpeg.h"
#include "video/nv12_colour.h"
#include "video/nv12_converter.h"

namespace orvane {
namespace {

constexpr uint32_t kWidth = 640;
constexpr uint32_t kHeight = 360;
constexpr uint32_t kFps = 30;
constexpr uint64_t kFrameUs = 1000000 / kFps;

// The block at the top-left keeps one colour in every frame; the rest moves.
constexpr uint32_t kSolidSize = 128;
constexpr uint8_t kSolidB = 40;
constexpr uint8_t kSolidG = 160;
constexpr uint8_t kSolidR = 220;

enum class EncoderKind { kFfmpeg, kOpenH264 };

struct CodecCase {
  const char* label;
  VideoCodec codec;
  AVCodecID decoder;
  std::set<int> parameter_sets;
  EncoderKind encoder = EncoderKind::kFfmpeg;
  // A new frame rate reopens the encoder, which starts again with a keyframe.
  bool frame_rate_reopens = true;
  // Screen-content mode codes a picture that replaces the one before as an IDR, and every
  // test picture here does: their keyframes are checked on desktop-like content instead.
  bool cuts_are_keyframes = false;
};

std::ostream& operator<<(std::ostream& out, const CodecCase& codec) {
  return out << codec.label;
}

std::unique_ptr<VideoEncoder> MakeEncoder(const CodecCase& codec) {
  if (codec.encoder == EncoderKind::kOpenH264) {
    return std::make_unique<OpenH264VideoEncoder>();
  }
  return std::make_unique<FfmpegVideoEncoder>();
}

std::string NameOf(const VideoEncoder& encoder) {
  if (const auto* ffmpeg = dynamic_cast<const FfmpegVideoEncoder*>(&encoder)) {
    return ffmpeg->EncoderName();
  }
  return OpenH264VideoEncoder::kName;
}

std::vector<uint8_t> MovingPattern(uint32_t frame) {
  std::vector<uint8_t> bgra(size_t{kWidth} * kHeight * 4);
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t* pixel = &bgra[(size_t{y} * kWidth + x) * 4];
      if (x < kSolidSize && y < kSolidSize) {
        pixel[0] = kSolidB;
        pixel[1] = kSolidG;
        pixel[2] = kSolidR;
      } else {
        pixel[0] = static_cast<uint8_t>(x + frame * 8);
        pixel[1] = static_cast<uint8_t>(y * 2 + frame * 4);
        pixel[2] = static_cast<uint8_t>(((x / 32 + y / 32 + frame) % 2) * 200);
      }
      pixel[3] = 255;
    }
  }
  return bgra;
}

// Detail that changes completely every frame, so the rate control is always short of bits.
std::vector<uint8_t> Noise(std::mt19937& random, uint32_t width = kWidth,
                           uint32_t height = kHeight) {
  std::vector<uint8_t> bgra(size_t{width} * height * 4);
  std::uniform_int_distribution<int> byte(0, 255);
  for (uint8_t& value : bgra) {
    value = static_cast<uint8_t>(byte(random));
  }
  return bgra;
}

// NAL unit types of an Annex-B access unit, in order.
std::vector<int> NalTypes(const std::vector<uint8_t>& bytes, bool hevc) {
  std::vector<int> types;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) {
      const uint8_t header = bytes[i + 3];
      types.push_back(hevc ? (header >> 1) & 0x3F : header & 0x1F);
      i += 2;
    }
  }
  return types;
}

bool HasAll(const std::vector<int>& types, const std::set<int>& wanted) {
  const std::set<int> present(types.begin(), types.end());
  for (int type : wanted) {
    if (!present.count(type)) {
      return false;
    }
  }
  return true;
}

// An independent decoder for what the encoder produced.
class Decoder {
 public:
  explicit Decoder(AVCodecID id) {
    const AVCodec* codec = avcodec_find_decoder(id);
    context_.reset(avcodec_alloc_context3(codec));
    context_->thread_count = 1;
    opened_ = avcodec_open2(context_.get(), codec, nullptr) == 0;
  }

  bool opened() const { return opened_; }
  int frames() const { return frames_; }
  const AVFrame& last() const { return *last_; }

  bool Decode(const std::vector<uint8_t>& bytes) {
    PacketPtr packet(av_packet_alloc());
    if (av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0) {
      return false;
    }
    std::copy(bytes.begin(), bytes.end(), packet->data);
    return avcodec_send_packet(context_.get(), packet.get()) == 0 && Drain();
  }

  bool Flush() { return avcodec_send_packet(context_.get(), nullptr) == 0 && Drain(); }

 private:
  bool Drain() {
    while (true) {
      // A call without a picture clears the frame it was given, so the last picture is
      // kept apart.
      const int result = avcodec_receive_frame(context_.get(), received_.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
        return true;
      }
      if (result < 0) {
        return false;
      }
      av_frame_unref(last_.get());
      av_frame_move_ref(last_.get(), received_.get());
      ++frames_;
    }
  }

  CodecContextPtr context_;
  FramePtr received_{av_frame_alloc()};
  FramePtr last_{av_frame_alloc()};
  bool opened_ = false;
  int frames_ = 0;
};

// Encodes one frame and drains the encoder; returns every access unit it gave.
std::vector<EncodedAccessUnit> EncodeOne(VideoEncoder& encoder, const std::vector<uint8_t>& bgra,
                                         uint64_t timestamp_us, uint32_t width = kWidth,
                                         uint32_t height = kHeight) {
  std::vector<EncodedAccessUnit> units;
  if (!encoder.EncodeFrame(bgra.data(), width * 4, width, height, timestamp_us)) {
    return units;
  }
  EncodedAccessUnit unit;
  while (encoder.ReceiveAccessUnit(unit)) {
    units.push_back(unit);
  }
  return units;
}

class VideoEncoderTest : public ::testing::TestWithParam<CodecCase> {};

TEST_P(VideoEncoderTest, EveryFrameGivesOneDecodableAccessUnit) {
  const CodecCase& codec = GetParam();
  const bool hevc = codec.codec == VideoCodec::kHevc;
  orvane::testing::LogCapture log;
  const std::unique_ptr<VideoEncoder> made = MakeEncoder(codec);
  VideoEncoder& encoder = *made;
  ASSERT_TRUE(encoder.Initialize(codec.codec, kWidth, kHeight, kFps, 2000))
      << encoder.LastStatus().message;
  EXPECT_TRUE(log.Contains(std::string("[Encoder] Initialized: ") + codec.label +
                           " 640x360 @30 fps, 2000 kbps"));
  if (NameOf(encoder).rfind("lib", 0) == 0) {
    EXPECT_TRUE(log.Contains(std::string("[Encoder] No hardware encoder found for ") + codec.label +
                             "; falling back to software encoder"));
  }

  std::vector<EncodedAccessUnit> units;
  for (uint32_t frame = 0; frame < 30; ++frame) {
    if (frame == 10) {
      encoder.RequestKeyframe();
    }
    const uint64_t timestamp_us = 5000000 + frame * kFrameUs;
    const std::vector<EncodedAccessUnit> out =
        EncodeOne(encoder, MovingPattern(frame), timestamp_us);
    ASSERT_EQ(out.size(), 1u) << "frame " << frame << ": " << encoder.LastStatus().message;
    EXPECT_EQ(out[0].timestamp_us, timestamp_us);
    units.push_back(out[0]);
  }

  for (uint32_t frame : {0u, 10u}) {
    EXPECT_TRUE(units[frame].keyframe) << "frame " << frame;
    EXPECT_TRUE(HasAll(NalTypes(units[frame].bytes, hevc), codec.parameter_sets))
        << "frame " << frame;
  }
  for (uint32_t frame : {1u, 9u, 11u, 29u}) {
    EXPECT_TRUE(codec.cuts_are_keyframes || !units[frame].keyframe) << "frame " << frame;
  }

  Decoder decoder(codec.decoder);
  ASSERT_TRUE(decoder.opened());
  for (const EncodedAccessUnit& unit : units) {
    ASSERT_TRUE(decoder.Decode(unit.bytes));
  }
  ASSERT_TRUE(decoder.Flush());
  EXPECT_EQ(decoder.frames(), 30);

  // The solid block must come back as the colour the host's own NV12 formula gives it.
  const std::vector<uint8_t> solid = {kSolidB, kSolidG, kSolidR, 255,     kSolidB, kSolidG,
                                      kSolidR, 255,     kSolidB, kSolidG, kSolidR, 255,
                                      kSolidB, kSolidG, kSolidR, 255};
  uint8_t y[4] = {};
  uint8_t uv[4] = {};
  ASSERT_TRUE(ConvertBgraToNv12(solid.data(), 8, 2, 2, {y, 2, uv, 2}));
  const AVFrame& picture = decoder.last();
  ASSERT_EQ(picture.format, AV_PIX_FMT_YUV420P);
  const int x = kSolidSize / 2;
  EXPECT_NEAR(picture.data[0][x * picture.linesize[0] + x], y[0], 3);
  EXPECT_NEAR(picture.data[1][x / 2 * picture.linesize[1] + x / 2], uv[0], 3);
  EXPECT_NEAR(picture.data[2][x / 2 * picture.linesize[2] + x / 2], uv[1], 3);
}

// The parameter sets say what the converter made, so a decoder has nothing to guess: an
// independent decoder reads the colour description of the VUI into the picture.
TEST_P(VideoEncoderTest, ParameterSetsDeclareTheConvertersColour) {
  const CodecCase& codec = GetParam();
  const std::unique_ptr<VideoEncoder> made = MakeEncoder(codec);
  VideoEncoder& encoder = *made;
  ASSERT_TRUE(encoder.Initialize(codec.codec, kWidth, kHeight, kFps, 2000))
      << encoder.LastStatus().message;
  const std::vector<EncodedAccessUnit> out = EncodeOne(encoder, MovingPattern(0), 0);
  ASSERT_EQ(out.size(), 1u) << encoder.LastStatus().message;
  Decoder decoder(codec.decoder);
  ASSERT_TRUE(decoder.opened());
  ASSERT_TRUE(decoder.Decode(out[0].bytes));
  ASSERT_TRUE(decoder.Flush());
  ASSERT_EQ(decoder.frames(), 1);
  const AVFrame& picture = decoder.last();
  EXPECT_EQ(picture.color_primaries, int{kNv12Colour.primaries}) << NameOf(encoder);
  EXPECT_EQ(picture.color_trc, int{kNv12Colour.transfer}) << NameOf(encoder);
  EXPECT_EQ(picture.colorspace, int{kNv12Colour.matrix}) << NameOf(encoder);
  EXPECT_EQ(picture.color_range, kNv12Colour.full_range ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG)
      << NameOf(encoder);
}

size_t BytesIn(const std::vector<size_t>& sizes, uint32_t first, uint32_t end) {
  size_t total = 0;
  for (uint32_t frame = first; frame < end; ++frame) {
    total += sizes[frame];
  }
  return total;
}

// A cut must bite by the next keyframe the stream has anyway, here one the client asked for,
// and never bring a keyframe of its own.
TEST_P(VideoEncoderTest, BitrateCutTakesEffectWithoutAKeyframeOfItsOwn) {
  const CodecCase& codec = GetParam();
  if (codec.cuts_are_keyframes) {
    GTEST_SKIP() << "noise is a new picture every frame; OpenH264ScreenContentTest covers rates";
  }
  const std::unique_ptr<VideoEncoder> made = MakeEncoder(codec);
  VideoEncoder& encoder = *made;
  ASSERT_TRUE(encoder.Initialize(codec.codec, kWidth, kHeight, kFps, 6000));
  Decoder decoder(codec.decoder);
  ASSERT_TRUE(decoder.opened());
  std::mt19937 random(7);
  std::vector<size_t> sizes;
  std::vector<uint32_t> keyframes;
  for (uint32_t frame = 0; frame < 40; ++frame) {
    if (frame == 15) {
      encoder.SetBitrate(300);
    }
    if (frame == 25) {
      encoder.RequestKeyframe();
    }
    const std::vector<EncodedAccessUnit> out = EncodeOne(encoder, Noise(random), frame * kFrameUs);
    ASSERT_EQ(out.size(), 1u) << "frame " << frame << ": " << encoder.LastStatus().message;
    ASSERT_TRUE(decoder.Decode(out[0].bytes)) << "frame " << frame;
    sizes.push_back(out[0].bytes.size());
    if (out[0].keyframe) {
      keyframes.push_back(frame);
    }
  }
  ASSERT_TRUE(decoder.Flush());
  EXPECT_EQ(decoder.frames(), 40);
  EXPECT_EQ(keyframes, (std::vector<uint32_t>{0, 25}));

  const size_t before = BytesIn(sizes, 5, 15);
  const size_t after = BytesIn(sizes, 30, 40);
  EXPECT_LT(after * 4, before) << "10 frames before the cut: " << before << " bytes, after "
                               << after;
}

// The bitrate controller climbs in +10% steps while the link allows. No step may cost the
// client a keyframe: the stream keeps only its first and its periodic keyframes, stays
// decodable, and runs at the climbed rate at the latest after the periodic keyframe.
TEST_P(VideoEncoderTest, BitrateClimbAddsNoKeyframes) {
  constexpr uint32_t kSmallWidth = 320;
  constexpr uint32_t kSmallHeight = 180;
  constexpr uint32_t kStartKbps = 300;
  constexpr uint32_t kClimbStart = 20;
  constexpr uint32_t kSteps = 20;
  constexpr uint32_t kFramesPerStep = 5;
  constexpr uint32_t kPeriodic = kKeyframeIntervalFrames;
  static_assert(kClimbStart + kSteps * kFramesPerStep + 10 < kPeriodic);
  const CodecCase& codec = GetParam();
  if (codec.cuts_are_keyframes) {
    GTEST_SKIP() << "noise is a new picture every frame; OpenH264ScreenContentTest covers rates";
  }
  const std::unique_ptr<VideoEncoder> made = MakeEncoder(codec);
  VideoEncoder& encoder = *made;
  ASSERT_TRUE(encoder.Initialize(codec.codec, kSmallWidth, kSmallHeight, kFps, kStartKbps));
  Decoder decoder(codec.decoder);
  ASSERT_TRUE(decoder.opened());
  std::mt19937 random(11);
  std::vector<size_t> sizes;
  std::vector<uint32_t> keyframes;
  uint32_t kbps = kStartKbps;
  for (uint32_t frame = 0; frame < kPeriodic + 20; ++frame) {
    if (frame >= kClimbStart && frame < kClimbStart + kSteps * kFramesPerStep &&
        (frame - kClimbStart) % kFramesPerStep == 0) {
      kbps += kbps / 10;
      encoder.SetBitrate(kbps);
    }
    const std::vector<EncodedAccessUnit> out =
        EncodeOne(encoder, Noise(random, kSmallWidth, kSmallHeight), frame * kFrameUs, kSmallWidth,
                  kSmallHeight);
    ASSERT_EQ(out.size(), 1u) << "frame " << frame << ": " << encoder.LastStatus().message;
    ASSERT_TRUE(decoder.Decode(out[0].bytes)) << "frame " << frame;
    sizes.push_back(out[0].bytes.size());
    if (out[0].keyframe) {
      keyframes.push_back(frame);
    }
  }
  ASSERT_TRUE(decoder.Flush());
  EXPECT_EQ(decoder.frames(), static_cast<int>(kPeriodic + 20));
  EXPECT_EQ(keyframes, (std::vector<uint32_t>{0, kPeriodic}));

  // The climb ends near 6.7 times the start rate; a third of that counts as taken.
  const size_t start = BytesIn(sizes, 10, kClimbStart);
  const size_t climbed = BytesIn(sizes, kPeriodic - 10, kPeriodic);
  const size_t after_keyframe = BytesIn(sizes, kPeriodic + 10, kPeriodic + 20);
  EXPECT_GT(after_keyframe, start * 3) << "start " << start << " bytes, after " << after_keyframe;
  // libx264 follows a new rate from the next frame on.
  if (NameOf(encoder) == "libx264") {
    EXPECT_GT(climbed, start * 3) << "start " << start << " bytes, climbed " << climbed;
  }
}

// A new frame rate may reopen the encoder (with a keyframe); the client must be able to go
// on decoding either way.
TEST_P(VideoEncoderTest, FrameRateChangeKeepsTheStreamDecodable) {
  const CodecCase& codec = GetParam();
  orvane::testing::LogCapture log;
  const std::unique_ptr<VideoEncoder> made = MakeEncoder(codec);
  VideoEncoder& encoder = *made;
  ASSERT_TRUE(encoder.Initialize(codec.codec, kWidth, kHeight, kFps, 2000));
  Decoder decoder(codec.decoder);
  ASSERT_TRUE(decoder.opened());
  for (uint32_t frame = 0; frame < 10; ++frame) {
    encoder.SetFrameRate(frame < 5 ? kFps : kFps / 2);
    const std::vector<EncodedAccessUnit> out =
        EncodeOne(encoder, MovingPattern(frame), frame * kFrameUs);
    ASSERT_EQ(out.size(), 1u) << "frame " << frame;
    if (frame == 0 || !codec.cuts_are_keyframes) {
      EXPECT_EQ(out[0].keyframe, frame == 0 || (codec.frame_rate_reopens && frame == 5))
          << "frame " << frame;
    }
    ASSERT_TRUE(decoder.Decode(out[0].bytes)) << "frame " << frame;
  }
  ASSERT_TRUE(decoder.Flush());
  EXPECT_EQ(decoder.frames(), 10);
  EXPECT_EQ(log.Count("reopened at 2000 kbps, 15 fps"), codec.frame_rate_reopens ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, VideoEncoderTest,
    ::testing::Values(CodecCase{"H264", VideoCodec::kH264, AV_CODEC_ID_H264, {7, 8}},
                      CodecCase{"HEVC", VideoCodec::kHevc, AV_CODEC_ID_HEVC, {32, 33, 34}},
                      CodecCase{"H264",
                                VideoCodec::kH264,
                                AV_CODEC_ID_H264,
                                {7, 8},
                                EncoderKind::kOpenH264,
                                false,
                                true}),
    [](const auto& info) {
      return std::string(info.param.label) +
             (info.param.encoder == EncoderKind::kOpenH264 ? "_OpenH264" : "");
    });

// A desktop where someone types beside a small video: OpenH264 in screen-content mode gives
// keyframes only when asked, whatever the rate and frame-rate changes, and a rate cut bites.
// The video is noisy but has motion a predictor can follow, as real video does.
TEST(OpenH264ScreenContentTest, RateChangesOnDesktopContentBringOnlyRequestedKeyframes) {
  OpenH264VideoEncoder encoder;
  ASSERT_TRUE(encoder.Initialize(VideoCodec::kH264, kWidth, kHeight, kFps, 4000))
      << encoder.LastStatus().message;
  Decoder decoder(AV_CODEC_ID_H264);
  ASSERT_TRUE(decoder.opened());
  std::vector<uint8_t> desktop = MovingPattern(0);
  std::mt19937 random(5);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<size_t> sizes;
  std::vector<uint32_t> keyframes;
  for (uint32_t frame = 0; frame < 60; ++frame) {
    if (frame == 15) {
      encoder.SetBitrate(300);
    }
    if (frame == 30) {
      encoder.SetFrameRate(kFps / 2);
    }
    if (frame == 45) {
      encoder.RequestKeyframe();
    }
    // One more character on a line of text, and a 160x90 video in the corner.
    for (uint32_t y = 200; y < 216; ++y) {
      for (uint32_t x = 8 * frame; x < 8 * frame + 8; ++x) {
        desktop[(size_t{y} * kWidth + x) * 4] = static_cast<uint8_t>(y * 7 + frame);
      }
    }
    for (uint32_t y = kHeight - 90; y < kHeight; ++y) {
      for (uint32_t x = kWidth - 160; x < kWidth; ++x) {
        for (uint32_t channel = 0; channel < 3; ++channel) {
          desktop[(size_t{y} * kWidth + x) * 4 + channel] =
              static_cast<uint8_t>(byte(random) / 4 + (x * (channel + 1) + y * 3 + frame * 6));
        }
      }
    }
    const std::vector<EncodedAccessUnit> out = EncodeOne(encoder, desktop, frame * kFrameUs);
    ASSERT_EQ(out.size(), 1u) << "frame " << frame << ": " << encoder.LastStatus().message;
    ASSERT_TRUE(decoder.Decode(out[0].bytes)) << "frame " << frame;
    sizes.push_back(out[0].bytes.size());
    if (out[0].keyframe) {
      keyframes.push_back(frame);
      EXPECT_TRUE(HasAll(NalTypes(out[0].bytes, false), {7, 8})) << "frame " << frame;
    }
  }
  ASSERT_TRUE(decoder.Flush());
  EXPECT_EQ(decoder.frames(), 60);
  EXPECT_EQ(keyframes, (std::vector<uint32_t>{0, 45}));
  const size_t before = BytesIn(sizes, 5, 15);
  const size_t after = BytesIn(sizes, 20, 30);
  // Without dropped frames OpenH264's rate control stops at a quality floor well above
  // 300 kbps for this picture, so the cut shows as a clear drop rather than a ratio.
  EXPECT_LT(after * 4, before * 3)
      << "10 frames before the cut: " << before << " bytes, after " << after;
}

// The capturer's NV12 picture is encoded as it stands: the BGRA pixels beside it (black
// here) are not converted again. The decoded picture follows the NV12 one, not the black.
class VideoEncoderNv12Test : public ::testing::TestWithParam<CodecCase> {};

TEST_P(VideoEncoderNv12Test, EncodesTheCapturersNv12PictureInsteadOfTheBgraPixels) {
  const std::unique_ptr<VideoEncoder> made = MakeEncoder(GetParam());
  VideoEncoder& encoder = *made;
  ASSERT_TRUE(encoder.Initialize(VideoCodec::kH264, kWidth, kHeight, kFps, 4000));
  Decoder decoder(AV_CODEC_ID_H264);
  ASSERT_TRUE(decoder.opened());
  const std::vector<uint8_t> black(size_t{kWidth} * kHeight * 4, 0);
  for (uint32_t i = 0; i < 4; ++i) {
    const std::vector<uint8_t> bgra = MovingPattern(i);
    std::vector<uint8_t> nv12(size_t{kWidth} * kHeight * 3 / 2);
    ASSERT_TRUE(ConvertBgraToNv12(bgra.data(), kWidth * 4, kWidth, kHeight,
                                  {nv12.data(), kWidth, nv12.data() + kWidth * kHeight, kWidth}));
    CapturedFrame frame;
    frame.status = CaptureStatus::kFrameReady;
    frame.data = black.data();
    frame.row_pitch = kWidth * 4;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.data_size = black.size();
    frame.nv12 = nv12.data();
    ASSERT_TRUE(encoder.EncodeCapturedFrame(frame, i * kFrameUs));
    EncodedAccessUnit unit;
    ASSERT_TRUE(encoder.ReceiveAccessUnit(unit)) << "frame " << i;
    EXPECT_EQ(unit.timestamp_us, i * kFrameUs);
    ASSERT_TRUE(decoder.Decode(unit.bytes)) << "frame " << i;
    ASSERT_EQ(decoder.frames(), static_cast<int>(i + 1));

    const AVFrame& decoded = decoder.last();
    uint64_t from_picture = 0;
    uint64_t from_black = 0;
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        const int luma = decoded.data[0][size_t{y} * decoded.linesize[0] + x];
        from_picture += std::abs(luma - nv12[size_t{y} * kWidth + x]);
        from_black += std::abs(luma - 16);
      }
    }
    const uint64_t pixels = uint64_t{kWidth} * kHeight;
    EXPECT_LT(from_picture, pixels * 4) << "frame " << i;
    EXPECT_GT(from_black, from_picture * 8) << "frame " << i;

    // Chroma comes back in its own planes, U from the even bytes of the pairs, V from the odd.
    uint64_t chroma_off = 0;
    const uint8_t* pairs = nv12.data() + size_t{kWidth} * kHeight;
    for (uint32_t y = 0; y < kHeight / 2; ++y) {
      for (uint32_t x = 0; x < kWidth / 2; ++x) {
        const uint8_t* pair = pairs + size_t{y} * kWidth + 2 * x;
        chroma_off += std::abs(decoded.data[1][size_t{y} * decoded.linesize[1] + x] - pair[0]);
        chroma_off += std::abs(decoded.data[2][size_t{y} * decoded.linesize[2] + x] - pair[1]);
      }
    }
    EXPECT_LT(chroma_off, pixels * 2) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, VideoEncoderNv12Test,
    ::testing::Values(
        CodecCase{"FFmpeg", VideoCodec::kH264, AV_CODEC_ID_H264, {7, 8}},
        CodecCase{"OpenH264", VideoCodec::kH264, AV_CODEC_ID_H264, {7, 8}, EncoderKind::kOpenH264}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FfmpegVideoEncoderFailureTest, FailuresAreReportedInTheStatus) {
  FfmpegVideoEncoder encoder;
  const std::vector<uint8_t> bgra(size_t{kWidth} * kHeight * 4);
  EncodedAccessUnit unit;

  EXPECT_FALSE(encoder.EncodeFrame(bgra.data(), kWidth * 4, kWidth, kHeight, 0));
  EXPECT_EQ(encoder.LastStatus().code, 6);
  EXPECT_EQ(encoder.LastStatus().message, "Encoder is not initialized");
  EXPECT_FALSE(encoder.ReceiveAccessUnit(unit));
  EXPECT_EQ(encoder.LastStatus().message, "Encoder is not initialized");

  orvane::testing::LogCapture log;
  EXPECT_FALSE(encoder.Initialize(VideoCodec::kH264, 0, 0, kFps, 2000));
  EXPECT_EQ(encoder.LastStatus().code, 6);
  EXPECT_EQ(encoder.LastStatus().message, "Failed to configure software encoder");
  EXPECT_TRUE(log.Contains("[Encoder] No software encoder found for H264"));

  ASSERT_TRUE(encoder.Initialize(VideoCodec::kH264, kWidth, kHeight, kFps, 2000));
  // Nothing sent yet: no output, and the status the last call left stands.
  EXPECT_FALSE(encoder.ReceiveAccessUnit(unit));
  EXPECT_TRUE(encoder.LastStatus().ok);
  // A short pitch cannot describe the frame; the encoder stays usable after it.
  EXPECT_FALSE(encoder.EncodeFrame(bgra.data(), 16, kWidth, kHeight, 0));
  EXPECT_EQ(encoder.LastStatus().code, 7);
  EXPECT_TRUE(encoder.EncodeFrame(bgra.data(), kWidth * 4, kWidth, kHeight, 0));
  EXPECT_TRUE(encoder.ReceiveAccessUnit(unit));
  EXPECT_TRUE(unit.keyframe);

  encoder.Shutdown();
  EXPECT_FALSE(encoder.EncodeFrame(bgra.data(), kWidth * 4, kWidth, kHeight, 0));
  EXPECT_EQ(encoder.LastStatus().message, "Encoder is not initialized");
}

// A frame smaller than the stream fills only its part of the picture; a larger one is cut.
TEST(FfmpegVideoEncoderFailureTest, FramesOfAnotherSizeStillEncode) {
  FfmpegVideoEncoder encoder;
  ASSERT_TRUE(encoder.Initialize(VideoCodec::kH264, kWidth, kHeight, kFps, 2000));
  const struct {
    uint32_t width;
    uint32_t height;
  } sizes[] = {{kWidth / 2, kHeight / 2}, {kWidth * 2, kHeight + 7}};
  uint64_t timestamp_us = 0;
  for (const auto& size : sizes) {
    const std::vector<uint8_t> bgra(size_t{size.width} * size.height * 4, 0x80);
    EXPECT_TRUE(encoder.EncodeFrame(bgra.data(), size.width * 4, size.width, size.height,
                                    timestamp_us += kFrameUs))
        << size.width << "x" << size.height;
    EncodedAccessUnit unit;
    EXPECT_TRUE(encoder.ReceiveAccessUnit(unit));
  }
}

}  // namespace
}  // namespace orvane
