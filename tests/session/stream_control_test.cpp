#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "session/session_harness.h"
#include "support/temp_folder.h"

namespace orvane::testing {
namespace {

namespace pb = protocol::v1;
using namespace std::chrono_literals;

// Waits until the client's control thread has handled everything sent before.
bool RoundTrip(client::ControlClient& client) {
  pb::ControlMessage ping;
  ping.mutable_ping()->set_send_timestamp_us(1);
  return client.Send(ping, client::FrameMode::kSealedPrimary) &&
         client.ReceiveUntil(pb::ControlMessage::kPong, 5s).has_value();
}

bool FramesPass(EncoderRecord& encoders, uint64_t count) {
  const uint64_t target = encoders.frames.load() + count;
  return WaitUntil([&] { return encoders.frames.load() >= target; });
}

// Waits until the loop has looked at the screen `count` more times.
bool CapturesPass(CaptureRecord& capture, uint64_t count) {
  const uint64_t target = capture.captures.load() + count;
  return WaitUntil([&] { return capture.captures.load() >= target; });
}

// A desktop nobody touches costs no encodes: only a change, a client's keyframe request
// (answered at once, without waiting for a change) or the periodic refresh bring a frame.
TEST(StreamControlTest, AStillDesktopIsEncodedOnlyOnChangeRequestOrRefresh) {
  SessionHarness harness({.still_desktop = true});
  EncoderRecord& encoders = harness.encoders();
  CaptureRecord& capture = harness.capture();
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client) && harness.StartStream(*client));
  ASSERT_TRUE(WaitUntil([&] { return encoders.frames.load() == 1; }));
  ASSERT_TRUE(CapturesPass(capture, 20));
  EXPECT_EQ(encoders.frames.load(), 1u);

  // The session's clock moves only here, so these are the refreshes: one a second after
  // the last change, then one every five seconds.
  harness.clock().Advance(9s);
  ASSERT_TRUE(WaitUntil([&] { return encoders.frames.load() == 2; }));
  ASSERT_TRUE(CapturesPass(capture, 20));
  EXPECT_EQ(encoders.frames.load(), 2u);
  harness.clock().Advance(2s);
  ASSERT_TRUE(CapturesPass(capture, 20));
  EXPECT_EQ(encoders.frames.load(), 2u);
  harness.clock().Advance(3s);
  ASSERT_TRUE(WaitUntil([&] { return encoders.frames.load() == 3; }));

  for (uint64_t frames : {4u, 5u}) {
    ++capture.changes;
    ASSERT_TRUE(WaitUntil([&] { return encoders.frames.load() == frames; }));
    ASSERT_TRUE(CapturesPass(capture, 20));
    EXPECT_EQ(encoders.frames.load(), frames);
  }

  pb::ControlMessage request;
  request.mutable_request_keyframe()->set_stream_id("0");
  ASSERT_TRUE(client->Send(request, client::FrameMode::kSealedPrimary));
  ASSERT_TRUE(WaitUntil([&] { return encoders.frames.load() == 6; }));
  const std::vector<bool> keyframes = encoders.KeyframeRequests();
  ASSERT_EQ(keyframes.size(), 6u);
  EXPECT_FALSE(keyframes[4]);
  EXPECT_TRUE(keyframes[5]);
}

// A capturer that waits for a change hands over the picture when the change came; the
// frame carries that moment, not the moment the wait began.
TEST(StreamControlTest, AFrameIsStampedWhenItsPictureWasTaken) {
  SessionHarness harness({.still_desktop = true});
  EncoderRecord& encoders = harness.encoders();
  CaptureRecord& capture = harness.capture();
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client) && harness.StartStream(*client));
  ASSERT_TRUE(WaitUntil([&] { return encoders.frames.load() == 1; }));

  capture.change_seen_after_ms = 30;
  ++capture.changes;
  ASSERT_TRUE(WaitUntil([&] { return encoders.frames.load() == 2; }));
  EXPECT_GE(encoders.Timestamps()[1], capture.change_capture_began_us.load() + 30000);
}

TEST(StreamControlTest, BitrateDecisionsReachTheEncoderOnlyThroughTheWarmupCap) {
  SessionHarness harness;
  EncoderRecord& encoders = harness.encoders();
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client) && harness.StartStream(*client));
  ASSERT_TRUE(WaitUntil([&] { return encoders.HasBitrate(1200); }));

  // A clean report lets the controller climb from the negotiated 8000 kbps.
  pb::ControlMessage report;
  report.mutable_stats_report()->set_rtt_ms(10);
  report.mutable_stats_report()->set_packet_loss_pct(0);
  ASSERT_TRUE(client->Send(report, client::FrameMode::kSealedPrimary));
  ASSERT_TRUE(RoundTrip(*client));
  ASSERT_TRUE(harness.log().WaitFor("[ABR] Low loss"));
  ASSERT_TRUE(FramesPass(encoders, 5));
  const auto during_warmup = encoders.Bitrates();
  EXPECT_TRUE(std::all_of(during_warmup.begin(), during_warmup.end(),
                          [](uint32_t kbps) { return kbps == 1200; }));

  harness.clock().Advance(9s);
  EXPECT_TRUE(WaitUntil([&] { return encoders.HasBitrate(8500); }));

  pb::ControlMessage quality;
  quality.mutable_set_quality_profile()->set_target_bitrate_kbps(3000);
  quality.mutable_set_quality_profile()->set_target_fps(60);
  ASSERT_TRUE(client->Send(quality, client::FrameMode::kSealedPrimary));
  EXPECT_TRUE(WaitUntil([&] { return encoders.HasBitrate(3000); }));
}

TEST(StreamControlTest, MaskedProtectedContentIsReportedAtMostEveryThreeSeconds) {
  SessionHarness harness({.masked_capture = true});
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client) && harness.StartStream(*client));
  const auto first = client->ReceiveUntil(pb::ControlMessage::kError, 5s);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->error().error_code(), 2101u);
  EXPECT_EQ(first->error().error_description(),
            "Protected content cannot be captured; display may show black content in those "
            "regions.");
  EXPECT_FALSE(first->error().is_fatal());
  ASSERT_TRUE(FramesPass(harness.encoders(), 10));  // masked frames are still encoded
  // The session's clock stands still: however slow the machine, no 3 s have passed.
  EXPECT_FALSE(client->ReceiveUntil(pb::ControlMessage::kError, 300ms).has_value());
  EXPECT_EQ(harness.log().Count("[Capture] Protected content appears masked by Still picture "
                                "(best-effort diagnostic)"),
            1u);
  harness.clock().Advance(3s);
  const auto second = client->ReceiveUntil(pb::ControlMessage::kError, 5s);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->error().error_code(), 2101u);
}

TEST(StreamControlTest, EncoderFailureAbortsTheStreamStartInOrder) {
  SessionHarness harness;
  harness.encoders().works = false;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  pb::ControlMessage start;
  start.mutable_start_stream()->set_session_id("s-1");
  ASSERT_TRUE(client->Send(start, client::FrameMode::kSealedPrimary));

  std::vector<pb::ControlMessage> replies;
  while (replies.size() < 4) {
    auto reply = client->Receive(5s);
    ASSERT_TRUE(reply);
    replies.push_back(*reply);
  }
  ASSERT_EQ(replies[0].payload_case(), pb::ControlMessage::kStreamWarmup);
  EXPECT_EQ(replies[0].stream_warmup().phase(), "initializing-capture");
  ASSERT_EQ(replies[1].payload_case(), pb::ControlMessage::kError);
  EXPECT_EQ(replies[1].error().error_code(), 2u);
  EXPECT_EQ(replies[1].error().error_description(), "Video encoder init failed");
  ASSERT_EQ(replies[2].payload_case(), pb::ControlMessage::kError);
  EXPECT_EQ(replies[2].error().error_code(), 3u);
  EXPECT_TRUE(replies[2].error().is_fatal());
  ASSERT_EQ(replies[3].payload_case(), pb::ControlMessage::kStreamStopped);
  EXPECT_EQ(replies[3].stream_stopped().session_id(), "s-1");
  EXPECT_TRUE(harness.log().Contains(
      "[Session] Encoder failure details monitor=0 code=6 msg=Encoder refused the size"));
  EXPECT_TRUE(
      harness.log().Contains("[Session] Stream start aborted: no monitor pipeline is ready"));
}

// The stream controller alone, with nothing listening: a stop from another thread lands
// between two starts, as a RequestStop can while the supervisor restarts a stream.
TEST(StreamControllerTest, AStopBetweenTwoStartsNeverLeavesALoopRunningOnAFreedPipeline) {
  TempFolder folder("orvane-stream");
  auto record = std::make_shared<EncoderRecord>();
  ManualClock clock;
  SessionEnvironment environment;
  environment.trust.folder = [path = folder.path()] { return path; };
  environment.now_us = clock.Function();
  environment.platform.video_encoder = [record] {
    return std::make_unique<RecordingEncoder>(record);
  };
  environment.platform.capturers = [] {
    ScreenCapturers capturers;
    capturers.push_back(std::make_unique<StillCapturer>());
    return capturers;
  };
  std::atomic<bool> session_running{true};
  ProtocolHandler handler(environment.trust);
  TcpControlServer control_server;
  UdpMediaSender media_sender;
  InputChannel input(handler, control_server, media_sender);
  StreamController stream(environment, session_running, handler, control_server, media_sender,
                          input);

  ASSERT_TRUE(stream.Start());
  ASSERT_TRUE(WaitUntil([&] { return record->frames.load() > 0; }));
  stream.Halt();
  ASSERT_TRUE(stream.Start());
  ASSERT_TRUE(WaitUntil([&] { return record->frames.load() > 3; }));
  stream.Stop();
  EXPECT_FALSE(record->used_after_shutdown.load());
  EXPECT_EQ(record->initialized.load(), 2u);
}

}  // namespace
}  // namespace orvane::testing
