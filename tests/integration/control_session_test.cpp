#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "client/client_identity.h"
#include "client/control_client.h"
#include "integration/host_process.h"
#include "security/secure_envelope.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
namespace pb = protocol::v1;
using client::ControlClient;
using client::FrameMode;
using Case = pb::ControlMessage::PayloadCase;
using namespace std::chrono_literals;

pb::ControlMessage Ping(uint64_t stamp) {
  pb::ControlMessage message;
  message.mutable_ping()->set_send_timestamp_us(stamp);
  return message;
}

// The real host on loopback, driven by the reference client.
class ControlSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = FreeTcpPort();
    identity_ = {"it-device-1", "Integration tablet"};
  }
  void TearDown() override { host_.reset(); }

  void StartHost(std::vector<std::string> extra = {}) {
    // Ports of their own, so that hosts of tests running side by side do not collide.
    std::vector<std::string> arguments{"--control-port", std::to_string(port_),
                                       "--media-port",   std::to_string(FreeUdpPort()),
                                       "--input-port",   std::to_string(FreeUdpPort())};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    host_ = std::make_unique<HostProcess>(arguments, home_);
    ASSERT_TRUE(host_->WaitForOutput("[Main] Ready. Waiting for mobile client..."));
  }

  fs::path TrustFolder() const { return home_ / "config" / "OrvaneDisplay"; }
  std::string ShownCode() const {
    std::string code = ReadFile(TrustFolder() / "active_pairing_code.txt");
    return code.substr(0, 6);
  }

  std::unique_ptr<ControlClient> Connect(const std::string& local_address = "127.0.0.1") {
    auto control = std::make_unique<ControlClient>();
    EXPECT_TRUE(control->Connect("127.0.0.1", port_, local_address)) << control->last_error();
    return control;
  }

  std::optional<pb::HelloAck> Hello(ControlClient& control, const std::string& code = "") {
    EXPECT_TRUE(control.SendHello(identity_, code));
    const auto reply = control.ReceiveUntil(Case::kHelloAck, 5s);
    return reply ? std::optional<pb::HelloAck>(reply->hello_ack()) : std::nullopt;
  }

  // Pairs the identity through the code the host shows, and returns the paired client.
  std::unique_ptr<ControlClient> PairedClient() {
    auto control = Connect();
    auto ack = Hello(*control);
    EXPECT_TRUE(ack && ack->result() == pb::AUTH_RESULT_PAIRING_REQUIRED);
    ack = Hello(*control, ShownCode());
    EXPECT_TRUE(ack && ack->result() == pb::AUTH_RESULT_OK);
    return control;
  }

  bool Pings(ControlClient& control, FrameMode mode, uint64_t stamp) {
    if (!control.Send(Ping(stamp), mode)) {
      return false;
    }
    const auto pong = control.ReceiveUntil(Case::kPong, 1500ms);
    return pong && pong->pong().ping_timestamp_us() == stamp;
  }

  TempFolder temp_{"orvane-session"};
  const fs::path home_ = temp_.path();
  uint16_t port_ = 0;
  client::ClientIdentity identity_;
  std::unique_ptr<HostProcess> host_;
};

TEST_F(ControlSessionTest, PairsAnUnknownDeviceThroughTheCodeShownOnTheHost) {
  StartHost();
  auto control = Connect();

  auto ack = Hello(*control);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->result(), pb::AUTH_RESULT_PAIRING_REQUIRED);
  EXPECT_EQ(ack->pairing_code(), "");
  // A wrong proof and the limit on how often proofs are checked are covered with the
  // protocol handler's own clock; here the whole path runs once in the real host.
  const std::string code = ShownCode();
  EXPECT_TRUE(host_->WaitForOutput("||  PAIRING CODE:  " + code));

  ack = Hello(*control, code);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->result(), pb::AUTH_RESULT_OK);
  EXPECT_FALSE(control->primary_key().empty());
  EXPECT_TRUE(host_->WaitForOutput("[Protocol] Pairing successful -- device trusted"));
  // The trust file is written by the session after the answer has gone out.
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFile(TrustFolder() / "trusted_devices.json").find("\"it-device-1\"") !=
           std::string::npos;
  }));
  EXPECT_FALSE(fs::exists(TrustFolder() / "active_pairing_code.txt"));
  control->Close();

  // The device stays trusted: a new connection needs no proof.
  ASSERT_TRUE(host_->WaitForOutput("[Session] Waiting for next control client..."));
  auto again = Connect();
  ack = Hello(*again);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->result(), pb::AUTH_RESULT_OK);
}

TEST_F(ControlSessionTest, AnswersPingBeforeAuthenticationAndNegotiates) {
  const uint16_t media_port = FreeUdpPort();
  const uint16_t input_port = FreeUdpPort();
  StartHost(
      {"--media-port", std::to_string(media_port), "--input-port", std::to_string(input_port)});
  auto control = Connect();
  EXPECT_TRUE(Pings(*control, FrameMode::kBare, 4242));

  pb::ControlMessage caps;
  caps.mutable_capability_exchange()->add_supported_codecs(pb::VIDEO_CODEC_HEVC);
  ASSERT_TRUE(control->Send(caps));
  EXPECT_TRUE(host_->WaitForOutput("[Protocol] CapabilityExchange ignored before authentication"));

  control->Close();
  ASSERT_TRUE(host_->WaitForOutput("[Session] Waiting for next control client..."));
  control = PairedClient();
  pb::CapabilityExchange* exchange = caps.mutable_capability_exchange();
  exchange->add_supported_fps(90);
  exchange->mutable_preferred_resolution()->set_width(1280);
  exchange->mutable_preferred_resolution()->set_height(720);
  ASSERT_TRUE(control->Send(caps, FrameMode::kSealedPrimary));
  const auto accept = control->ReceiveUntil(Case::kCapabilityAccept, 5s);
  ASSERT_TRUE(accept);
  EXPECT_EQ(accept->capability_accept().selected_codec(), pb::VIDEO_CODEC_HEVC);
  EXPECT_EQ(accept->capability_accept().selected_fps(), 90u);
  EXPECT_EQ(accept->capability_accept().selected_resolution().width(), 1280u);
  EXPECT_EQ(accept->capability_accept().media_udp_port(), media_port);
  EXPECT_EQ(accept->capability_accept().input_udp_port(), input_port);
}

TEST_F(ControlSessionTest, OpensBareClearAndSealedFramesAndPromotesTheCompatibilityKey) {
  StartHost();
  auto control = PairedClient();
  ASSERT_FALSE(control->compatibility_key().empty());
  EXPECT_TRUE(Pings(*control, FrameMode::kBare, 1));
  EXPECT_TRUE(Pings(*control, FrameMode::kClearEnvelope, 2));
  EXPECT_TRUE(Pings(*control, FrameMode::kSealedPrimary, 3));

  EXPECT_TRUE(Pings(*control, FrameMode::kSealedCompatibility, 4));
  EXPECT_TRUE(
      host_->WaitForOutput("[Protocol] Decrypted control frame with compatibility session key"));
  EXPECT_TRUE(host_->WaitForOutput("[Protocol] Promoted compatibility session key as active"));
  // From now on only the promoted key opens frames.
  EXPECT_TRUE(Pings(*control, FrameMode::kSealedCompatibility, 5));
  EXPECT_FALSE(Pings(*control, FrameMode::kSealedPrimary, 6));
  EXPECT_TRUE(host_->WaitForOutput("[Protocol] Failed to decrypt secure control frame (count=1"));
}

TEST_F(ControlSessionTest, SixUndecryptableFramesAskForOneRekey) {
  StartHost();
  auto control = PairedClient();
  const std::vector<uint8_t> wrong_key(32, 0x5A);
  for (uint64_t counter = 1; counter <= 6; ++counter) {
    const std::string ping = Ping(counter).SerializeAsString();
    std::vector<uint8_t> envelope;
    ASSERT_TRUE(SealEnvelope(wrong_key, kControlDirection, counter,
                             {reinterpret_cast<const uint8_t*>(ping.data()), ping.size()},
                             envelope));
    ASSERT_TRUE(control->SendRawFrame(envelope));
  }
  const auto rekey = control->ReceiveUntil(Case::kRekeyRequired, 5s);
  ASSERT_TRUE(rekey);
  EXPECT_EQ(rekey->rekey_required().reason(), "control-decrypt-desync");
  EXPECT_GT(rekey->rekey_required().server_epoch(), 0u);
  EXPECT_FALSE(control->ReceiveUntil(Case::kRekeyRequired, 500ms));
  // Only the first failure within the second is written to the log.
  EXPECT_EQ(host_->Output().find("Failed to decrypt secure control frame (count=2"),
            std::string::npos);
}

TEST_F(ControlSessionTest, UnparsableFrameLeavesTheConnectionOpen) {
  StartHost();
  auto control = Connect();
  ASSERT_TRUE(control->SendRawFrame({0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(
      host_->WaitForOutput("[Protocol] Failed to parse control message size=3 prefix=FFFFFF00"));
  EXPECT_TRUE(host_->WaitForOutput("[Session] Control frame handling issue code=4"));
  EXPECT_TRUE(Pings(*control, FrameMode::kBare, 99));
}

TEST_F(ControlSessionTest, PromotedQueuedClientMustSendItsOwnHello) {
  StartHost();
  auto first = PairedClient();
  auto second = Connect("127.0.0.2");
  ASSERT_TRUE(host_->WaitForOutput("[TCP] Queued client 127.0.0.2:"));
  first->Close();
  ASSERT_TRUE(host_->WaitForOutput("[Session] Promoted/connected next client: 127.0.0.2"));

  pb::ControlMessage start;
  start.mutable_start_stream()->set_session_id("sneaky");
  ASSERT_TRUE(second->Send(start));
  EXPECT_TRUE(host_->WaitForOutput("[Protocol] StartStream ignored before authentication"));
  const auto ack = Hello(*second);  // the same identity, so trusted
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->result(), pb::AUTH_RESULT_OK);
}

TEST_F(ControlSessionTest, StreamStartAndStopAreAnnouncedInOrder) {
  StartHost({"--monitors", "3"});
  auto control = PairedClient();
  pb::ControlMessage start;
  start.mutable_start_stream()->set_session_id("s-1");
  ASSERT_TRUE(control->Send(start, FrameMode::kSealedPrimary));

  std::vector<pb::ControlMessage> replies;
  while (replies.size() < 3) {
    auto reply = control->Receive(10s);
    ASSERT_TRUE(reply);
    replies.push_back(*reply);
  }
  ASSERT_EQ(replies[0].payload_case(), Case::kStreamWarmup);
  EXPECT_EQ(replies[0].stream_warmup().phase(), "initializing-capture");
  EXPECT_EQ(replies[0].stream_warmup().session_id(), "s-1");
  ASSERT_EQ(replies[1].payload_case(), Case::kStreamWarmup);
  EXPECT_EQ(replies[1].stream_warmup().phase(), "starting-frame-loop");
  EXPECT_EQ(replies[1].stream_warmup().expected_first_frame_deadline_ms(), 12000u);
  ASSERT_EQ(replies[2].payload_case(), Case::kStreamStarted);
  EXPECT_EQ(replies[2].stream_started().stream_id(), "s-1");
  EXPECT_TRUE(host_->WaitForOutput(
      "[Session] Driverless mode supports a single streamed source; requested=3 using=1"));
  EXPECT_TRUE(host_->WaitForOutput("[Session] Transport encryption enabled"));

  pb::ControlMessage stop;
  stop.mutable_stop_stream()->set_session_id("s-1");
  ASSERT_TRUE(control->Send(stop, FrameMode::kSealedPrimary));
  const auto stopped = control->ReceiveUntil(Case::kStreamStopped, 5s);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->stream_stopped().session_id(), "s-1");
  EXPECT_TRUE(host_->WaitForOutput("[Session] Stream stopped"));
  EXPECT_TRUE(host_->WaitForOutput("[FrameLoop] Stopped after"));
}

TEST_F(ControlSessionTest, InterruptWhileWaitingEndsTheHost) {
  StartHost();
  host_->Signal(SIGINT);
  EXPECT_EQ(host_->WaitForExit(), 0);
  EXPECT_NE(host_->Output().find("[Main] Shutdown complete."), std::string::npos);
}

}  // namespace
}  // namespace orvane::testing
