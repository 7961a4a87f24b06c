#include "net/udp_media_sender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/udp_test_peer.h"
#include "security/secure_envelope.h"
#include "security/session_crypto.h"

namespace orvane {
namespace {

using testing::UdpPeer;
using namespace std::chrono_literals;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  }
  return bytes;
}

const std::vector<uint8_t> kKey(32, 0x5A);

class UdpMediaSenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sender_.Open().ok);
    ASSERT_TRUE(sender_.SetRemote("127.0.0.1", client_.port()).ok);
  }

  static void ExpectFailure(const Status& status, int32_t code, const std::string& message) {
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.code, code);
    EXPECT_EQ(status.message, message);
  }

  void ExpectNothingArrives() { EXPECT_FALSE(client_.Receive(200ms)); }

  // Opens a sealed media datagram; fails the test when it does not open.
  std::vector<uint8_t> Open(const std::vector<uint8_t>& datagram, uint64_t expected_counter) {
    const EnvelopeView envelope = ParseEnvelope(datagram);
    EXPECT_EQ(envelope.kind, EnvelopeKind::kSealed);
    EXPECT_EQ(envelope.counter, expected_counter);
    return SessionCrypto::DecryptPayload(kKey, kMediaDirection, envelope.counter, envelope.payload);
  }

  UdpPeer client_;
  UdpMediaSender sender_;
};

TEST_F(UdpMediaSenderTest, CutsAccessUnitsAtFixedBoundaries) {
  struct Case {
    size_t size;
    bool keyframe;
    std::vector<size_t> fragment_sizes;
    std::vector<uint8_t> flags;
  };
  const Case cases[] = {
      {1, true, {1}, {1}},
      {1400, false, {1400}, {0}},
      {1401, false, {1400, 1}, {0, 0}},
      {3000, true, {1400, 1400, 200}, {1, 0, 0}},
      {4200, false, {1400, 1400, 1400}, {0, 0, 0}},
  };
  uint32_t frame_number = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::vector<uint8_t> unit = Pattern(c.size);
    const uint64_t timestamp = 0x0000010203040506ull + frame_number;
    ASSERT_TRUE(sender_
                    .SendVideoFrame(frame_number, timestamp, c.keyframe, unit.data(),
                                    static_cast<uint32_t>(unit.size()))
                    .ok);
    std::vector<uint8_t> joined;
    for (size_t i = 0; i < c.fragment_sizes.size(); ++i) {
      const auto datagram = client_.Receive();
      ASSERT_TRUE(datagram);
      ASSERT_EQ(datagram->size(), kVideoHeaderSize + c.fragment_sizes[i]);
      const auto fragment = ParseVideoFragment(*datagram);
      ASSERT_TRUE(fragment);
      EXPECT_EQ(fragment->header.flags, c.flags[i]);
      EXPECT_EQ(fragment->header.frame_number, frame_number);
      EXPECT_EQ(fragment->header.timestamp_us, timestamp);
      EXPECT_EQ(fragment->header.index, i);
      EXPECT_EQ(fragment->header.count, c.fragment_sizes.size());
      joined.insert(joined.end(), fragment->payload.begin(), fragment->payload.end());
    }
    EXPECT_EQ(joined, unit);
    ++frame_number;
  }
  ExpectNothingArrives();
}

TEST_F(UdpMediaSenderTest, SendsAudioPacketsWhole) {
  for (const size_t size : {size_t{0}, size_t{1400}}) {
    const std::vector<uint8_t> opus = Pattern(size);
    ASSERT_TRUE(
        sender_.SendAudioPacket(9, 123456, 20, opus.data(), static_cast<uint32_t>(opus.size())).ok);
    const auto datagram = client_.Receive();
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->size(), kAudioHeaderSize + size);
    const auto audio = ParseAudioPacket(*datagram);
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->header.sequence, 9u);
    EXPECT_EQ(audio->header.timestamp_us, 123456u);
    EXPECT_EQ(audio->header.duration_ms, 20);
    EXPECT_TRUE(std::equal(opus.begin(), opus.end(), audio->payload.begin(), audio->payload.end()));
  }
}

TEST_F(UdpMediaSenderTest, RefusesWhatItCannotSendAndSendsNothing) {
  const std::vector<uint8_t> opus(1401);
  ExpectFailure(sender_.SendAudioPacket(1, 0, 20, opus.data(), 1401), 2,
                "Audio packet exceeds UDP MTU-safe payload");

  ExpectFailure(sender_.SendVideoFrame(1, 0, true, nullptr, 0), 7, "Video frame payload is empty");
  ExpectFailure(sender_.SendVideoFrame(1, 0, true, opus.data(), 0), 7,
                "Video frame payload is empty");

  // One byte more than 65535 full fragments: the 16-bit fragment count would wrap.
  const std::vector<uint8_t> huge(size_t{kMaxVideoFragments} * kMaxMediaPayloadSize + 1);
  ExpectFailure(
      sender_.SendVideoFrame(1, 0, false, huge.data(), static_cast<uint32_t>(huge.size())), 2,
      "Video frame exceeds 65535 UDP fragments");
  ExpectNothingArrives();
}

TEST_F(UdpMediaSenderTest, SendsOnlyToAConfiguredRemote) {
  const uint8_t byte = 1;
  UdpMediaSender unaimed;
  ASSERT_TRUE(unaimed.Open().ok);
  ExpectFailure(unaimed.SendVideoFrame(1, 0, false, &byte, 1), 2, "UDP remote is not configured");

  // Only dotted IPv4 text is taken, never a name to look up. A failed SetRemote forgets
  // the earlier destination rather than keep sending to it.
  for (const std::string address : {"", "localhost", "127.0.0.256", "127.0.0.1:9431"}) {
    SCOPED_TRACE(address);
    ASSERT_TRUE(sender_.SetRemote("127.0.0.1", client_.port()).ok);
    const Status refused = sender_.SetRemote(address, client_.port());
    ExpectFailure(refused, 1, "Invalid UDP remote address");
    EXPECT_EQ(refused.hr, kHresultFail);
    ExpectFailure(sender_.SendAudioPacket(1, 0, 20, &byte, 1), 2, "UDP remote is not configured");
  }

  ASSERT_TRUE(sender_.SetRemote("127.0.0.1", client_.port()).ok);
  ASSERT_TRUE(sender_.SendAudioPacket(1, 0, 20, &byte, 1).ok);
  EXPECT_TRUE(client_.Receive());

  sender_.Close();
  sender_.Close();
  ExpectFailure(sender_.SendAudioPacket(1, 0, 20, &byte, 1), 2, "UDP remote is not configured");
  ExpectNothingArrives();
}

TEST_F(UdpMediaSenderTest, SealsVideoAndAudioUnderOneCounter) {
  sender_.SetSessionKey(kKey);
  const std::vector<uint8_t> fragment = Pattern(1400);
  ASSERT_TRUE(sender_.SendVideoFrame(5, 50, true, fragment.data(), 1400).ok);
  ASSERT_TRUE(sender_.SendAudioPacket(6, 60, 20, fragment.data(), 1400).ok);
  ASSERT_TRUE(sender_.SendVideoFrame(7, 70, false, fragment.data(), 1).ok);

  struct Expected {
    size_t datagram_size;
    MediaPacketType type;
    uint32_t number;
  };
  const Expected expected[] = {{1449, MediaPacketType::kVideo, 5},
                               {1445, MediaPacketType::kAudio, 6},
                               {50, MediaPacketType::kVideo, 7}};
  for (uint64_t counter = 0; counter < 3; ++counter) {
    const auto datagram = client_.Receive();
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->size(), expected[counter].datagram_size);
    const std::vector<uint8_t> packet = Open(*datagram, counter);
    ASSERT_FALSE(packet.empty()) << counter;
    if (expected[counter].type == MediaPacketType::kVideo) {
      const auto video = ParseVideoFragment(packet);
      ASSERT_TRUE(video);
      EXPECT_EQ(video->header.frame_number, expected[counter].number);
    } else {
      const auto audio = ParseAudioPacket(packet);
      ASSERT_TRUE(audio);
      EXPECT_EQ(audio->header.sequence, expected[counter].number);
    }
  }
}

// An access unit large enough to go out in several batches: every fragment arrives in
// index order, sealed under the next counter value, with the size of its fragment, and
// the audio packet after it continues the sequence.
TEST_F(UdpMediaSenderTest, SealsTheFragmentsOfALargeAccessUnitInOrderUnderConsecutiveCounters) {
  sender_.SetSessionKey(kKey);
  sender_.SetEnvelopeCounter(1000);
  constexpr size_t kFragments = 71;
  const std::vector<uint8_t> unit = Pattern((kFragments - 1) * 1400 + 33);
  ASSERT_TRUE(
      sender_.SendVideoFrame(9, 90, true, unit.data(), static_cast<uint32_t>(unit.size())).ok);
  const uint8_t opus = 0x77;
  ASSERT_TRUE(sender_.SendAudioPacket(3, 30, 20, &opus, 1).ok);
  std::vector<uint8_t> joined;
  for (uint64_t i = 0; i < kFragments; ++i) {
    const auto datagram = client_.Receive();
    ASSERT_TRUE(datagram) << i;
    EXPECT_EQ(datagram->size(), i + 1 < kFragments ? 1449u : 13 + 20 + 33 + 16u);
    const std::vector<uint8_t> packet = Open(*datagram, 1000 + i);
    const auto fragment = ParseVideoFragment(packet);
    ASSERT_TRUE(fragment) << i;
    EXPECT_EQ(fragment->header.index, i);
    EXPECT_EQ(fragment->header.count, kFragments);
    EXPECT_EQ(fragment->header.flags, i == 0 ? 1 : 0);
    joined.insert(joined.end(), fragment->payload.begin(), fragment->payload.end());
  }
  EXPECT_EQ(joined, unit);
  const auto audio = client_.Receive();
  ASSERT_TRUE(audio);
  EXPECT_EQ(audio->size(), 13 + 16 + 1 + 16u);
  const auto packet = ParseAudioPacket(Open(*audio, 1000 + kFragments));
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->header.sequence, 3u);
  ExpectNothingArrives();
}

TEST_F(UdpMediaSenderTest, PutsTheCounterInTheHeaderAndTheNonce) {
  sender_.SetSessionKey(kKey);
  sender_.SetEnvelopeCounter(0x0102030405060708ull);
  const uint8_t byte = 0x42;
  ASSERT_TRUE(sender_.SendVideoFrame(1, 2, false, &byte, 1).ok);
  const auto datagram = client_.Receive();
  ASSERT_TRUE(datagram);
  const std::vector<uint8_t> header(datagram->begin(), datagram->begin() + kEnvelopeHeaderSize);
  EXPECT_EQ(header, (std::vector<uint8_t>{'O', 'R', 'V', '1', 0x01, 1, 2, 3, 4, 5, 6, 7, 8}));
  const std::span<const uint8_t> sealed(datagram->data() + kEnvelopeHeaderSize,
                                        datagram->size() - kEnvelopeHeaderSize);
  // Nonce 00 00 00 02 || counter: it opens on the media direction and no other.
  EXPECT_FALSE(
      SessionCrypto::DecryptPayload(kKey, kMediaDirection, 0x0102030405060708ull, sealed).empty());
  EXPECT_TRUE(
      SessionCrypto::DecryptPayload(kKey, kInputDirection, 0x0102030405060708ull, sealed).empty());
}

TEST_F(UdpMediaSenderTest, ThreadsSendingAtOnceNeverShareACounterValue) {
  sender_.SetSessionKey(kKey);
  constexpr int kPerThread = 50;
  const uint8_t byte = 1;
  std::thread video([&] {
    for (int i = 0; i < kPerThread; ++i) {
      sender_.SendVideoFrame(static_cast<uint32_t>(i), 0, false, &byte, 1);
    }
  });
  std::thread audio([&] {
    for (int i = 0; i < kPerThread; ++i) {
      sender_.SendAudioPacket(static_cast<uint32_t>(i), 0, 20, &byte, 1);
    }
  });
  video.join();
  audio.join();
  std::set<uint64_t> counters;
  for (int i = 0; i < 2 * kPerThread; ++i) {
    const auto datagram = client_.Receive();
    ASSERT_TRUE(datagram);
    const EnvelopeView envelope = ParseEnvelope(*datagram);
    EXPECT_FALSE(
        SessionCrypto::DecryptPayload(kKey, kMediaDirection, envelope.counter, envelope.payload)
            .empty());
    counters.insert(envelope.counter);
  }
  EXPECT_EQ(counters.size(), size_t{2 * kPerThread});
  EXPECT_EQ(*counters.rbegin(), uint64_t{2 * kPerThread - 1});
}

}  // namespace
}  // namespace orvane
