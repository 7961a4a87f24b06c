#include "audio/opus_audio_encoder.h"

#include <gtest/gtest.h>
#include <opus/opus.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "audio/fake_audio_capture.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

constexpr uint64_t kT0 = 5000000;

// One Encode call: `frames` of tone at `timestamp_us`.
struct Call {
  uint32_t frames;
  uint64_t timestamp_us;
};

// The packet timestamps of a sequence of calls, nullopt where a call returned none.
std::vector<std::optional<uint64_t>> Stamps(OpusAudioEncoder& encoder,
                                            const std::vector<Call>& calls) {
  std::vector<std::optional<uint64_t>> stamps;
  uint64_t next_frame = 0;
  for (const Call& call : calls) {
    const std::vector<int16_t> pcm = Sine(call.frames, 2, 1000.0, 48000, 0.5, next_frame);
    next_frame += call.frames;
    EncodedAudioPacket packet;
    const AudioEncodeResult result =
        encoder.Encode(pcm.data(), call.frames, 2, call.timestamp_us, packet);
    if (result == AudioEncodeResult::kPacket) {
      EXPECT_EQ(packet.duration_ms, 20);
      EXPECT_FALSE(packet.bytes.empty());
      stamps.push_back(packet.timestamp_us);
    } else {
      EXPECT_EQ(result, AudioEncodeResult::kNeedMoreInput) << encoder.LastStatus().message;
      EXPECT_EQ(encoder.LastStatus().message, "libopus requires more PCM input");
      stamps.push_back(std::nullopt);
    }
  }
  return stamps;
}

// Blocks of 10 ms, one after the other from kT0, with the given number of blocks left
// out before each listed position (silence that was never delivered).
std::vector<Call> TenMsBlocks(size_t count, size_t gap_before = SIZE_MAX, uint64_t gap_us = 0) {
  std::vector<Call> calls;
  uint64_t timestamp = kT0;
  for (size_t i = 0; i < count; ++i) {
    if (i == gap_before) {
      timestamp += gap_us;
    }
    calls.push_back({480, timestamp});
    timestamp += 10000;
  }
  return calls;
}

TEST(OpusAudioEncoderTest, LibopusStampsPacketsFromTheQueuedAudio) {
  const std::optional<uint64_t> none;
  struct Case {
    const char* name;
    std::vector<Call> calls;
    std::vector<std::optional<uint64_t>> stamps;
  };
  const std::vector<Case> cases = {
      {"10 ms blocks: a 20 ms packet every second call",
       TenMsBlocks(10),
       {none, kT0, none, kT0 + 20000, none, kT0 + 40000, none, kT0 + 60000, none, kT0 + 80000}},
      {"one call of four frames leaves one packet per call",
       {{3840, kT0}, {0, kT0 + 80000}, {0, kT0 + 80000}, {0, kT0 + 80000}, {0, kT0 + 80000}},
       {kT0, kT0 + 20000, kT0 + 40000, kT0 + 60000, none}},
      {"a missing block of silence keeps the timing",
       TenMsBlocks(4, 2, 10000),
       {none, kT0, none, kT0 + 20000}},
      {"a block after a pause of a second is stamped with its own time",
       TenMsBlocks(4, 2, 1000000),
       {none, kT0, none, kT0 + 1020000}},
      {"half a frame queued before a pause leads into the block after it",
       TenMsBlocks(3, 1, 1000000),
       {none, kT0 + 1000000, none}},
  };
  for (const Case& c : cases) {
    OpusAudioEncoder encoder;
    ASSERT_TRUE(encoder.Initialize(48000, 2, 64)) << c.name;
    EXPECT_EQ(Stamps(encoder, c.calls), c.stamps) << c.name;
  }
}

TEST(OpusAudioEncoderTest, RefusesWhatItCannotEncode) {
  LogCapture log;
  OpusAudioEncoder encoder;
  const std::vector<int16_t> pcm = Sine(960, 2, 1000.0, 48000, 0.5);
  EncodedAudioPacket packet;
  EXPECT_EQ(encoder.Encode(pcm.data(), 960, 2, kT0, packet), AudioEncodeResult::kFailed);
  EXPECT_EQ(encoder.LastStatus().message, "Opus encoder is not initialized");
  EXPECT_EQ(encoder.LastStatus().code, 6);

  // A block with another channel count is refused whole: nothing of it is queued and
  // the timing does not start from it.
  ASSERT_TRUE(encoder.Initialize(48000, 2, 64));
  EXPECT_TRUE(log.Contains("[OpusEnc] Opus libopus fallback initialized: 48000Hz, 2ch, 64kbps"));
  EXPECT_EQ(encoder.Encode(pcm.data(), 960, 1, kT0, packet), AudioEncodeResult::kFailed);
  EXPECT_EQ(encoder.LastStatus().message, "Audio channel count changed during Opus encoding");
  EXPECT_EQ(encoder.LastStatus().hr, 0x80004005u);
  ASSERT_EQ(encoder.Encode(pcm.data(), 960, 2, kT0 + 50000, packet), AudioEncodeResult::kPacket);
  EXPECT_EQ(packet.timestamp_us, kT0 + 50000);
  EXPECT_EQ(encoder.Encode(pcm.data(), 0, 2, kT0 + 70000, packet),
            AudioEncodeResult::kNeedMoreInput);

  // A rate libopus does not take leaves the encoder without a back end.
  EXPECT_FALSE(encoder.Initialize(44100, 2, 64));
  EXPECT_TRUE(log.Contains("[OpusEnc] No Opus backend available (MFT + libopus fallback failed)"));
  EXPECT_EQ(encoder.LastStatus().message, "libopus init failed: invalid argument (err=-1)");
  EXPECT_EQ(encoder.Encode(pcm.data(), 960, 2, kT0, packet), AudioEncodeResult::kFailed);
  EXPECT_EQ(encoder.LastStatus().message, "Opus encoder is not initialized");
}

TEST(OpusAudioEncoderTest, ShutdownDropsEverythingQueued) {
  OpusAudioEncoder encoder;
  ASSERT_TRUE(encoder.Initialize(48000, 2, 64));
  const std::vector<int16_t> pcm = Sine(3840 + 480, 2, 1000.0, 48000, 0.5);
  EncodedAudioPacket packet;
  ASSERT_EQ(encoder.Encode(pcm.data(), 3840 + 480, 2, kT0, packet), AudioEncodeResult::kPacket);
  encoder.Shutdown();
  EXPECT_EQ(encoder.Encode(pcm.data(), 0, 2, kT0, packet), AudioEncodeResult::kFailed);
  EXPECT_EQ(encoder.LastStatus().message, "Opus encoder is not initialized");

  // Neither the three queued packets nor the half frame come back, nor the old timing.
  ASSERT_TRUE(encoder.Initialize(48000, 2, 64));
  EXPECT_EQ(encoder.Encode(pcm.data(), 480, 2, kT0 + 900000, packet),
            AudioEncodeResult::kNeedMoreInput);
  ASSERT_EQ(encoder.Encode(pcm.data(), 480, 2, kT0 + 910000, packet), AudioEncodeResult::kPacket);
  EXPECT_EQ(packet.timestamp_us, kT0 + 900000);
  EXPECT_EQ(encoder.Encode(pcm.data(), 0, 2, kT0 + 920000, packet),
            AudioEncodeResult::kNeedMoreInput);
}

TEST(OpusAudioEncoderTest, PacketsDecodeToTheToneThatWentIn) {
  OpusAudioEncoder encoder;
  ASSERT_TRUE(encoder.Initialize(48000, 2, 64));
  int error = 0;
  OpusDecoder* decoder = opus_decoder_create(48000, 2, &error);
  ASSERT_NE(decoder, nullptr);
  const std::vector<int16_t> pcm = Sine(48000, 2, 1000.0, 48000, 0.5);
  std::vector<int16_t> decoded;
  for (uint32_t frame = 0; frame < 48000; frame += 480) {
    EncodedAudioPacket packet;
    if (encoder.Encode(pcm.data() + size_t{frame} * 2, 480, 2, kT0 + frame * 1000 / 48, packet) !=
        AudioEncodeResult::kPacket) {
      continue;
    }
    int16_t out[960 * 2];
    ASSERT_EQ(opus_decode(decoder, packet.bytes.data(),
                          static_cast<opus_int32>(packet.bytes.size()), out, 960, 0),
              960);
    decoded.insert(decoded.end(), out, out + 960 * 2);
  }
  opus_decoder_destroy(decoder);
  ASSERT_EQ(decoded.size(), 48000u * 2);
  // Past the codec's start-up, the level matches the input's (RMS of a 0.5 sine).
  double sum = 0;
  size_t crossings = 0;
  for (size_t i = 4800 * 2; i < decoded.size(); i += 2) {
    sum += static_cast<double>(decoded[i]) * decoded[i];
    crossings += (decoded[i - 2] < 0) != (decoded[i] < 0) ? 1 : 0;
  }
  const double rms = std::sqrt(sum / 43200.0) / 32767.0;
  EXPECT_NEAR(20 * std::log10(rms), 20 * std::log10(0.5 / std::sqrt(2.0)), 1.0);
  EXPECT_NEAR(crossings / 2.0 / 0.9, 1000.0, 5.0);  // 0.9 s of a 1 kHz tone
}

}  // namespace
}  // namespace orvane::testing
