#include "client/media_receiver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/frame_reassembler.h"
#include "net/udp_media_sender.h"

namespace orvane::client {
namespace {

const std::vector<uint8_t> kKey(32, 0x5A);
const std::vector<uint8_t> kOtherKey(32, 0xA5);
const std::vector<uint8_t> kNoKey;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  }
  return bytes;
}

// The host's real sender aimed at a receiver on loopback.
class MediaReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(receiver_.Open(0)) << receiver_.last_error();
    ASSERT_NE(receiver_.port(), 0);
    ASSERT_TRUE(sender_.Open().ok);
    ASSERT_TRUE(sender_.SetRemote("127.0.0.1", receiver_.port()).ok);
  }

  // Feeds `datagrams` received datagrams to the reassembler.
  void Receive(size_t datagrams) {
    for (size_t i = 0; i < datagrams; ++i) {
      ReceivedMedia media;
      ASSERT_TRUE(receiver_.Receive(std::chrono::seconds(5), media)) << receiver_.last_error();
      switch (media.kind) {
        case MediaKind::kVideo:
          reassembler_.AddFragment(media.video, units_);
          break;
        case MediaKind::kAudio:
          reassembler_.AddAudio(media.audio.header);
          audio_.assign(media.audio.payload.begin(), media.audio.payload.end());
          break;
        case MediaKind::kUnopenable:
          reassembler_.CountUnopenable();
          break;
        case MediaKind::kMalformed:
          reassembler_.CountMalformed();
          break;
        case MediaKind::kNone:
          FAIL() << "datagram " << i << " did not arrive";
      }
    }
  }

  MediaReceiver receiver_;
  UdpMediaSender sender_;
  FrameReassembler reassembler_;
  std::vector<AccessUnit> units_;
  std::vector<uint8_t> audio_;
};

TEST_F(MediaReceiverTest, OpensWhatTheSenderSealsAndTakesBareDatagrams) {
  struct KeyCase {
    std::string name;
    const std::vector<uint8_t>& sender_key;
    const std::vector<uint8_t>& receiver_key;
    bool opens;
  };
  const std::vector<KeyCase> cases = {
      {"sealed, same key", kKey, kKey, true},
      {"bare, receiver has a key", kNoKey, kKey, true},
      {"bare, no keys", kNoKey, kNoKey, true},
      {"sealed, other key", kKey, kOtherKey, false},
      {"sealed, receiver has no key", kKey, kNoKey, false},
  };
  const std::vector<uint8_t> keyframe = Pattern(5000);
  const std::vector<uint8_t> opus = Pattern(300);
  uint32_t frame_number = 40;
  for (const KeyCase& test : cases) {
    SCOPED_TRACE(test.name);
    sender_.SetSessionKey(test.sender_key);
    receiver_.SetKey(test.receiver_key);
    reassembler_ = FrameReassembler();
    units_.clear();
    audio_.clear();
    ASSERT_TRUE(sender_
                    .SendVideoFrame(++frame_number, 123456789, true, keyframe.data(),
                                    static_cast<uint32_t>(keyframe.size()))
                    .ok);
    ASSERT_TRUE(
        sender_.SendAudioPacket(9, 555, 20, opus.data(), static_cast<uint32_t>(opus.size())).ok);
    Receive(5);  // four video fragments and the audio packet
    const MediaStats& stats = reassembler_.stats();
    if (test.opens) {
      ASSERT_EQ(units_.size(), 1u);
      EXPECT_EQ(units_[0].bytes, keyframe);
      EXPECT_EQ(units_[0].frame_number, frame_number);
      EXPECT_EQ(units_[0].timestamp_us, 123456789u);
      EXPECT_TRUE(units_[0].keyframe);
      EXPECT_EQ(audio_, opus);
      EXPECT_EQ(stats.audio_packets, 1u);
      EXPECT_EQ(stats.unopenable_datagrams, 0u);
    } else {
      EXPECT_TRUE(units_.empty());
      EXPECT_EQ(stats.unopenable_datagrams, 5u);
    }
  }
}

TEST_F(MediaReceiverTest, WaitThatRunsOutReportsNothing) {
  ReceivedMedia media;
  EXPECT_TRUE(receiver_.Receive(std::chrono::milliseconds(20), media));
  EXPECT_EQ(media.kind, MediaKind::kNone);
}

}  // namespace
}  // namespace orvane::client
