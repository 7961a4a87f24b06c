#include "audio/opus_transform_mf.h"

#include <gtest/gtest.h>
#include <opus/opus.h>

#include "audio/fake_audio_capture.h"
#include "audio/opus_audio_encoder.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

// The platform's transform is tried first; where the system has none (Wine), libopus
// takes over and its packets decode. Either way the packets are Opus.
TEST(MfOpusTransformTest, TheEncoderFallsBackToLibopusWhosePacketsDecode) {
  LogCapture log;
  OpusAudioEncoder encoder(CreateMfOpusTransform);
  ASSERT_TRUE(encoder.Initialize(48000, 2, 64));
  const bool transform =
      log.Contains("[OpusEnc] Opus MFT encoder initialized: 48000Hz, 2ch, 64kbps");
  EXPECT_TRUE(transform ||
              log.Contains("[OpusEnc] Opus libopus fallback initialized: 48000Hz, 2ch, 64kbps"));

  int error = 0;
  OpusDecoder* decoder = opus_decoder_create(48000, 2, &error);
  ASSERT_NE(decoder, nullptr);
  int decoded_packets = 0;
  for (uint32_t block = 0; block < 50; ++block) {
    const std::vector<int16_t> pcm = Sine(480, 2, 1000.0, 48000, 0.5, block * 480);
    EncodedAudioPacket packet;
    if (encoder.Encode(pcm.data(), 480, 2, 1000000 + block * 10000, packet) !=
        AudioEncodeResult::kPacket) {
      continue;
    }
    int16_t out[5760 * 2];
    const int frames = opus_decode(decoder, packet.bytes.data(),
                                   static_cast<opus_int32>(packet.bytes.size()), out, 5760, 0);
    EXPECT_GT(frames, 0);
    decoded_packets += frames > 0 ? 1 : 0;
  }
  opus_decoder_destroy(decoder);
  EXPECT_GE(decoded_packets, transform ? 1 : 25);
  encoder.Shutdown();
}

}  // namespace
}  // namespace orvane::testing
