#include "video/video_encoder_mf.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <objbase.h>

#include <memory>
#include <vector>

#include "support/log_capture.h"
#include "video/fake_encoder_transform_mf.h"

namespace orvane {
namespace {

using testing::FakeEncoderTransform;
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

// An encoder whose only transform is the asynchronous hardware fake: the machine has no
// software encoder, so a refused hardware session fails the stream.
class MfVideoEncoderContractTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kSide = 64;

  std::unique_ptr<MfVideoEncoder> MakeEncoder() {
    return std::make_unique<MfVideoEncoder>(
        [this](bool hevc, bool hardware, ActivatedEncoder& encoder, Status& status) {
          if (hevc || !hardware) {
            status = Status::Failure(StatusCode::kCodec, "No compatible encoder found",
                                     static_cast<uint32_t>(MF_E_TOPO_CODEC_NOT_FOUND));
            return false;
          }
          const HRESULT hr = FakeEncoderTransform::Open(behaviour_, record_, fake_);
          if (FAILED(hr)) {
            status = Status::Failure(StatusCode::kCodec, "Encoder activation failed",
                                     static_cast<uint32_t>(hr));
            return false;
          }
          return SUCCEEDED(fake_.QueryTo(__uuidof(IMFTransform), encoder.transform));
        });
  }

  bool Start(MfVideoEncoder& encoder) {
    return encoder.Initialize(VideoCodec::kH264, kSide, kSide, 30, 2000);
  }

  bool Encode(MfVideoEncoder& encoder, uint64_t index) {
    return encoder.EncodeFrame(frame_.data(), kSide * 4, kSide, kSide, index * 33333);
  }

  std::vector<EncodedAccessUnit> Drain(MfVideoEncoder& encoder) {
    std::vector<EncodedAccessUnit> units;
    EncodedAccessUnit unit;
    while (encoder.ReceiveAccessUnit(unit)) {
      units.push_back(unit);
    }
    return units;
  }

  // Frames `count` frames through, draining after each; returns every unit.
  std::vector<EncodedAccessUnit> Stream(MfVideoEncoder& encoder, uint64_t count) {
    std::vector<EncodedAccessUnit> units;
    for (uint64_t i = 0; i < count; ++i) {
      EXPECT_TRUE(Encode(encoder, i)) << encoder.LastStatus().message;
      for (EncodedAccessUnit& unit : Drain(encoder)) {
        units.push_back(std::move(unit));
      }
    }
    return units;
  }

  MediaFoundation media_foundation_;
  FakeEncoderTransform::Behaviour behaviour_;
  FakeEncoderTransform::Record record_;
  ComRef<FakeEncoderTransform> fake_;
  std::vector<uint8_t> frame_ = std::vector<uint8_t>(kSide * kSide * 4, 0x80);
};

const std::vector<uint8_t> kParameterSets = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1f,
                                             0, 0, 0, 1, 0x68, 0xce, 0x3c, 0x80};

std::vector<uint8_t> Slice(bool idr, uint8_t index) {
  return {0, 0, 0, 1, static_cast<uint8_t>(idr ? 0x65 : 0x41), 0x88, index};
}

TEST_F(MfVideoEncoderContractTest, StreamsThroughAnAsynchronousEncoderAskingForLowLatency) {
  auto encoder = MakeEncoder();
  ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;
  EXPECT_TRUE(record_.low_latency.load());

  const std::vector<EncodedAccessUnit> units = Stream(*encoder, 3);
  ASSERT_EQ(units.size(), 3u);
  for (uint64_t i = 0; i < units.size(); ++i) {
    EXPECT_EQ(units[i].timestamp_us, i * 33333);
  }
  EXPECT_TRUE(units[0].keyframe);
  EXPECT_FALSE(units[1].keyframe);
  encoder->RequestKeyframe();
  ASSERT_TRUE(Encode(*encoder, 3));
  const std::vector<EncodedAccessUnit> forced = Drain(*encoder);
  ASSERT_EQ(forced.size(), 1u);
  EXPECT_TRUE(forced[0].keyframe);
  EXPECT_EQ(record_.rule_breaks.load(), 0);
}

// A busy encoder announces a frame's output only after the caller has stopped asking,
// and asks for the next frame only once that output is taken.
TEST_F(MfVideoEncoderContractTest, OutputAnnouncedLateIsCollectedBeforeTheNextInput) {
  behaviour_.output_on_demand = true;
  auto encoder = MakeEncoder();
  ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;

  ASSERT_TRUE(Encode(*encoder, 0));
  EXPECT_TRUE(Drain(*encoder).empty());
  fake_->FinishFrame();
  ASSERT_TRUE(Encode(*encoder, 1)) << encoder->LastStatus().message;
  fake_->FinishFrame();
  const std::vector<EncodedAccessUnit> units = Drain(*encoder);
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].timestamp_us, 0u);
  EXPECT_EQ(units[1].timestamp_us, 33333u);
  EXPECT_EQ(record_.rule_breaks.load(), 0);
}

TEST_F(MfVideoEncoderContractTest, AStreamChangeChoosesTheOutputTypeAgainAndLosesNoFrame) {
  behaviour_.stream_change_on_first_output = true;
  auto encoder = MakeEncoder();
  ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;

  const std::vector<EncodedAccessUnit> units = Stream(*encoder, 3);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].bytes.back(), 0);
  EXPECT_EQ(units[2].bytes.back(), 2);
  EXPECT_EQ(record_.output_types_set.load(), 2);
  EXPECT_EQ(record_.rule_breaks.load(), 0);
}

// Both types say what the CPU converter makes (BT.601 matrix, 16..235, sRGB pictures with
// BT.709 primaries), also once the encoder has proposed an output type of its own.
TEST_F(MfVideoEncoderContractTest, TypesDeclareTheColourOfTheConvertedPictures) {
  for (const bool stream_change : {false, true}) {
    SCOPED_TRACE(stream_change ? "after a stream change" : "as first set");
    behaviour_.stream_change_on_first_output = stream_change;
    auto encoder = MakeEncoder();
    ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;
    ASSERT_EQ(Stream(*encoder, 2).size(), 2u);
    for (const FakeEncoderTransform::TypeColour* colour :
         {&record_.input_colour, &record_.output_colour}) {
      EXPECT_EQ(colour->primaries.load(), uint32_t{MFVideoPrimaries_BT709});
      EXPECT_EQ(colour->transfer.load(), uint32_t{MFVideoTransFunc_sRGB});
      EXPECT_EQ(colour->matrix.load(), uint32_t{MFVideoTransferMatrix_BT601});
      EXPECT_EQ(colour->range.load(), uint32_t{MFNominalRange_16_235});
    }
  }
}

// Hardware encoders often run one session at a time; a stream restart must end the
// old one, and so must destroying the encoder.
TEST_F(MfVideoEncoderContractTest, ReleasingTheEncoderEndsItsHardwareSession) {
  auto encoder = MakeEncoder();
  ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;
  Stream(*encoder, 1);
  encoder->Shutdown();
  EXPECT_EQ(record_.sessions_open.load(), 0);

  ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;
  ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;
  EXPECT_EQ(Stream(*encoder, 1).size(), 1u);
  encoder.reset();
  EXPECT_EQ(record_.sessions_open.load(), 0);
  EXPECT_EQ(record_.sessions_started.load(), 3);
}

// Whether the encoder sends SPS and PPS with its first IDR only or in its output type's
// sequence header only, every IDR leaves with them.
TEST_F(MfVideoEncoderContractTest, EveryIdrCarriesTheParameterSets) {
  for (const bool in_output_type : {false, true}) {
    behaviour_.parameter_sets_once = !in_output_type;
    behaviour_.parameter_sets_in_output_type = in_output_type;
    auto encoder = MakeEncoder();
    ASSERT_TRUE(Start(*encoder)) << encoder->LastStatus().message;

    const std::vector<EncodedAccessUnit> units = Stream(*encoder, 7);
    ASSERT_EQ(units.size(), 7u);
    for (uint8_t i = 0; i < units.size(); ++i) {
      const bool idr = i % 3 == 0;
      std::vector<uint8_t> expected = idr ? kParameterSets : std::vector<uint8_t>{};
      const std::vector<uint8_t> slice = Slice(idr, i);
      expected.insert(expected.end(), slice.begin(), slice.end());
      EXPECT_EQ(units[i].bytes, expected) << "frame " << int{i} << " in type " << in_output_type;
      EXPECT_EQ(units[i].keyframe, idr);
    }
  }
}

}  // namespace
}  // namespace orvane
