#include "net/media_packet.h"

#include <gtest/gtest.h>

#include <vector>

#include "security/hex_bytes.h"

namespace orvane {
namespace {

using testing::FromHex;

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(MediaPacketTest, WritesAndReadsTheVideoHeaderByteForByte) {
  std::vector<uint8_t> packet(kVideoHeaderSize);
  WriteVideoFragmentHeader({kKeyframeFlag, 0x01020304, 0x1112131415161718ull, 0x0A0B, 0x0C0D},
                           std::span(packet).first<kVideoHeaderSize>());
  EXPECT_EQ(packet, FromHex("01010100"
                            "01020304"
                            "1112131415161718"
                            "0A0B"
                            "0C0D"));

  packet.push_back(0xEE);
  const auto fragment = ParseVideoFragment(packet);
  ASSERT_TRUE(fragment);
  EXPECT_EQ(fragment->header.flags, kKeyframeFlag);
  EXPECT_EQ(fragment->header.frame_number, 0x01020304u);
  EXPECT_EQ(fragment->header.timestamp_us, 0x1112131415161718ull);
  EXPECT_EQ(fragment->header.index, 0x0A0B);
  EXPECT_EQ(fragment->header.count, 0x0C0D);
  EXPECT_EQ(std::vector<uint8_t>(fragment->payload.begin(), fragment->payload.end()),
            std::vector<uint8_t>{0xEE});
}

TEST(MediaPacketTest, WritesAndReadsTheAudioHeaderByteForByte) {
  std::vector<uint8_t> packet(kAudioHeaderSize);
  // The duration sits at offset 3, where video keeps its reserved byte.
  WriteAudioPacketHeader({20, 0xA1A2A3A4, 0x0102030405060708ull},
                         std::span(packet).first<kAudioHeaderSize>());
  EXPECT_EQ(packet, FromHex("01020014"
                            "A1A2A3A4"
                            "0102030405060708"));

  const auto audio = ParseAudioPacket(packet);
  ASSERT_TRUE(audio);
  EXPECT_EQ(audio->header.duration_ms, 20);
  EXPECT_EQ(audio->header.sequence, 0xA1A2A3A4u);
  EXPECT_EQ(audio->header.timestamp_us, 0x0102030405060708ull);
  EXPECT_TRUE(audio->payload.empty());
}

TEST(MediaPacketTest, RefusesPacketsThatBreakTheFormat) {
  const std::vector<uint8_t> video = FromHex(
      "01010000"
      "00000001"
      "0000000000000002"
      "0000"
      "0001");
  const std::vector<uint8_t> audio = FromHex(
      "01020014"
      "00000001"
      "0000000000000002");
  auto with = [](std::vector<uint8_t> bytes, size_t offset, uint8_t value) {
    bytes[offset] = value;
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> packet;
    bool video_ok;
    bool audio_ok;
  };
  const Case cases[] = {
      {"video with one byte", Concat(video, {7}), true, false},
      {"video with 1400 bytes", Concat(video, std::vector<uint8_t>(1400)), true, false},
      {"video without payload", video, false, false},
      {"video with 1401 bytes", Concat(video, std::vector<uint8_t>(1401)), false, false},
      {"video index equal to count", Concat(with(video, 17, 1), {7}), false, false},
      {"video of another format", Concat(with(video, 0, 2), {7}), false, false},
      {"audio without payload", audio, false, true},
      {"audio with 1400 bytes", Concat(audio, std::vector<uint8_t>(1400)), false, true},
      {"audio with 1401 bytes", Concat(audio, std::vector<uint8_t>(1401)), false, false},
      {"short audio header", std::vector<uint8_t>(audio.begin(), audio.end() - 1), false, false},
      {"empty", {}, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseVideoFragment(c.packet).has_value(), c.video_ok) << c.name;
    EXPECT_EQ(ParseAudioPacket(c.packet).has_value(), c.audio_ok) << c.name;
  }
}

}  // namespace
}  // namespace orvane
