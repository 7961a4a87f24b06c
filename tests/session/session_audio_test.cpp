#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "client/media_receiver.h"
#include "session/session_harness.h"

namespace orvane::testing {
namespace {

namespace pb = protocol::v1;
using namespace std::chrono_literals;

struct ReceivedAudio {
  uint32_t sequence;
  uint8_t duration_ms;
  bool sealed;
};

// Audio datagrams arriving within `limit`, until `count` of them did; video is skipped.
std::vector<ReceivedAudio> ReceiveAudio(client::MediaReceiver& receiver, size_t count,
                                        std::chrono::milliseconds limit) {
  std::vector<ReceivedAudio> audio;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  client::ReceivedMedia media;
  while (audio.size() < count && std::chrono::steady_clock::now() < deadline &&
         receiver.Receive(50ms, media)) {
    if (media.kind == client::MediaKind::kAudio) {
      audio.push_back({media.audio.header.sequence, media.audio.header.duration_ms, media.sealed});
    }
  }
  return audio;
}

bool StopStream(client::ControlClient& client) {
  pb::ControlMessage stop;
  stop.mutable_stop_stream()->set_session_id("s");
  return client.Send(stop, client::FrameMode::kSealedPrimary) &&
         client.ReceiveUntil(pb::ControlMessage::kStreamStopped, 5s).has_value();
}

TEST(SessionAudioTest, AudioFlowsSealedWhileStreamingAndItsSequenceRunsOnAcrossStreams) {
  SessionHarness harness({.audio = {.tone = true}});
  client::MediaReceiver receiver;
  ASSERT_TRUE(receiver.Open(harness.options().media_port));
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client) && harness.OfferAudio(*client));
  receiver.SetKey(client->primary_key());
  EXPECT_EQ(harness.audio_capture().initialized.load(), 1);

  std::vector<uint32_t> sequences;
  for (int stream = 0; stream < 2; ++stream) {
    ASSERT_TRUE(harness.StartStream(*client));
    const std::vector<ReceivedAudio> audio = ReceiveAudio(receiver, 10, 10s);
    ASSERT_EQ(audio.size(), 10u) << "stream " << stream;
    for (const ReceivedAudio& packet : audio) {
      EXPECT_TRUE(packet.sealed);
      EXPECT_EQ(packet.duration_ms, 20);
      sequences.push_back(packet.sequence);
    }
    ASSERT_TRUE(StopStream(*client));
    EXPECT_TRUE(WaitUntil([&] { return harness.audio_capture().stopped.load() == stream + 1; }));
  }
  EXPECT_EQ(sequences.front(), 0u);
  for (size_t i = 1; i < sequences.size(); ++i) {
    // Consecutive within a stream; the second stream carries on from the first.
    EXPECT_GT(sequences[i], sequences[i - 1]) << i;
    if (i != 10) {
      EXPECT_EQ(sequences[i], sequences[i - 1] + 1) << i;
    }
  }
  // Once the stream stopped, nothing more comes; what was sent before the stop may still
  // wait in the socket (more of it on a slow machine or under a sanitizer).
  ReceiveAudio(receiver, 10000, 200ms);
  EXPECT_TRUE(ReceiveAudio(receiver, 1, 300ms).empty());
}

TEST(SessionAudioTest, WithoutAudioCaptureTheStreamRunsOnWithVideo) {
  SessionHarness harness({.audio = {.works = false, .tone = true}});
  EXPECT_TRUE(harness.log().Contains(
      "[AudioPipeline] Audio capture init failed code=7 msg=Default audio endpoint is "
      "unavailable hr=0x80070490 -- audio will be unavailable"));
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client) && harness.OfferAudio(*client) &&
              harness.StartStream(*client));
  EXPECT_TRUE(harness.log().WaitFor("[AudioPipeline] Audio capture start failed"));
  const uint64_t frames = harness.encoders().frames.load();
  EXPECT_TRUE(WaitUntil([&] { return harness.encoders().frames.load() >= frames + 10; }));
}

}  // namespace
}  // namespace orvane::testing
