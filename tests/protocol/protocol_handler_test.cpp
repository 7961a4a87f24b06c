#include "protocol/protocol_handler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
namespace pb = protocol::v1;
using testing::LogCapture;

// Where the system offers no ECDH key agreement the host runs without a key pair.
size_t ExpectedHostKeySize() {
  return SessionCrypto().HasKeyAgreement() ? 64 : 0;
}

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class ProtocolHandlerTest : public ::testing::Test {
 protected:
  TrustStoreEnvironment Environment() {
    TrustStoreEnvironment environment = TrustStoreEnvironment::System();
    environment.folder = [this] { return folder_; };
    environment.tick_ms = [this] { return tick_ms_; };
    return environment;
  }

  std::unique_ptr<ProtocolHandler> MakeHandler() {
    auto handler = std::make_unique<ProtocolHandler>(Environment());
    handler->messages().SetSendCallback([this](const uint8_t* data, uint32_t size) {
      pb::ControlMessage message;
      EXPECT_TRUE(message.ParseFromArray(data, static_cast<int>(size)));
      sent_.push_back(message);
      return true;
    });
    handler->SetRequestCallback([this, raw = handler.get()](ClientRequest request) {
      if (std::holds_alternative<TrustChangedRequest>(request)) {
        raw->SaveTrust();  // as the session does
      }
      requests_.push_back(std::move(request));
    });
    return handler;
  }

  template <typename Request>
  std::vector<Request> Requests() const {
    std::vector<Request> found;
    for (const ClientRequest& request : requests_) {
      if (const auto* match = std::get_if<Request>(&request)) {
        found.push_back(*match);
      }
    }
    return found;
  }

  void Trust(const std::string& client_id) {
    TrustStore store(Environment());
    store.TrustDevice(client_id, "Trusted tablet");
    ASSERT_TRUE(store.Save());
  }

  static Status Handle(ProtocolHandler& handler, const pb::ControlMessage& message) {
    const std::string bytes = message.SerializeAsString();
    return handler.HandleControlMessage(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size());
  }

  static pb::ControlMessage Hello(const std::string& client_id, const std::string& proof = "",
                                  const std::string& key = "") {
    pb::ControlMessage message;
    pb::Hello* hello = message.mutable_hello();
    hello->set_client_id(client_id);
    hello->set_client_name("Tablet");
    hello->set_app_version("1.0");
    hello->set_pairing_proof(proof);
    hello->set_ephemeral_public_key(key);
    return message;
  }

  std::string ActivePairingCode() const {
    std::ifstream in(folder_ / "active_pairing_code.txt");
    std::string code;
    std::getline(in, code);
    return code;
  }

  TempFolder temp_{"orvane-handler"};
  const fs::path folder_ = temp_.path();
  uint64_t tick_ms_ = 100000;
  std::vector<pb::ControlMessage> sent_;
  std::vector<ClientRequest> requests_;
};

TEST_F(ProtocolHandlerTest, UnknownDeviceGetsPairingRequiredWithoutTheCode) {
  LogCapture log;
  auto handler = MakeHandler();
  handler->SetHostIdentity("orvane-box", "box");
  EXPECT_TRUE(Handle(*handler, Hello("new-device")).ok);

  ASSERT_EQ(sent_.size(), 1u);
  const pb::HelloAck& ack = sent_[0].hello_ack();
  EXPECT_EQ(ack.result(), pb::AUTH_RESULT_PAIRING_REQUIRED);
  EXPECT_EQ(ack.pairing_code(), "");
  EXPECT_EQ(ack.host_id(), "orvane-box");
  EXPECT_EQ(ack.host_name(), "box");
  EXPECT_EQ(ack.ephemeral_public_key().size(), ExpectedHostKeySize());
  const std::string code = ActivePairingCode();
  EXPECT_EQ(code.size(), 6u);
  EXPECT_TRUE(log.Contains("[Protocol] Sent HelloAck (PAIRING_REQUIRED, code=" + code));
  EXPECT_FALSE(log.Contains("Pairing proof invalid"));
  EXPECT_FALSE(handler->authenticated());
}

TEST_F(ProtocolHandlerTest, ProofOfTheShownCodePairsTheDeviceAndAWrongOneIssuesANewCode) {
  LogCapture log;
  auto handler = MakeHandler();
  const std::string key(64, '\x07');
  Handle(*handler, Hello("tablet-7", "", key));
  const std::string first_code = ActivePairingCode();

  tick_ms_ += 5000;
  Handle(*handler, Hello("tablet-7", std::string(32, 'x'), key));
  EXPECT_EQ(sent_.back().hello_ack().result(), pb::AUTH_RESULT_PAIRING_REQUIRED);
  EXPECT_TRUE(log.Contains("[Protocol] Pairing proof invalid -- pairing required"));
  const std::string second_code = ActivePairingCode();
  EXPECT_EQ(second_code.size(), 6u);

  // The proof is bound to the key the client sent with its Hello.
  tick_ms_ += 5000;
  const std::vector<uint8_t> proof =
      SessionCrypto::HmacSha256(AsBytes(second_code), "tablet-7", AsBytes(key));
  Handle(*handler, Hello("tablet-7", std::string(proof.begin(), proof.end()), key));
  EXPECT_EQ(sent_.back().hello_ack().result(), pb::AUTH_RESULT_OK);
  EXPECT_TRUE(handler->authenticated());
  EXPECT_TRUE(log.Contains("[Protocol] Pairing successful -- device trusted"));
  EXPECT_FALSE(fs::exists(folder_ / "active_pairing_code.txt"));
  EXPECT_TRUE(TrustStore(Environment()).Load());
  TrustStore reloaded(Environment());
  reloaded.Load();
  EXPECT_TRUE(reloaded.IsTrusted("tablet-7"));
}

// A client looping on refused Hellos gets every answer, but the log gets one Hello in
// full every 2 s and a count of the rest; a trusted Hello in the middle is logged.
TEST_F(ProtocolHandlerTest, RefusedHelloBurstsAreAnsweredButLoggedOnceEveryTwoSeconds) {
  Trust("trusted-1");
  auto handler = MakeHandler();
  LogCapture log;
  // The Hello that opens the code, then guesses: the first is checked, so logged.
  Handle(*handler, Hello("guesser"));
  for (int i = 0; i < 100; ++i) {
    tick_ms_ += 10;
    Handle(*handler, Hello("guesser", std::string(32, static_cast<char>(i))));
  }
  EXPECT_EQ(sent_.size(), 101u);
  EXPECT_EQ(log.Count("[Protocol] Hello from"), 2u);
  EXPECT_EQ(log.Count("[Protocol] Pairing proof invalid -- pairing required"), 1u);

  Handle(*handler, Hello("trusted-1"));
  EXPECT_EQ(sent_.back().hello_ack().result(), pb::AUTH_RESULT_OK);
  EXPECT_TRUE(log.Contains("[Protocol] 99 more refused Hellos from this client were not logged"));
  EXPECT_EQ(log.Count("[Protocol] Hello from"), 3u);

  tick_ms_ += 10;
  Handle(*handler, Hello("guesser", std::string(32, 'a')));
  tick_ms_ += 10;
  Handle(*handler, Hello("guesser", std::string(32, 'b')));
  EXPECT_EQ(log.Count("[Protocol] Hello from"), 4u) << "the accepted Hello ended the burst";
  tick_ms_ += 2000;
  Handle(*handler, Hello("guesser", std::string(32, 'c')));
  EXPECT_EQ(log.Count("[Protocol] Hello from"), 5u);
  EXPECT_TRUE(log.Contains("[Protocol] 1 more refused Hellos from this client were not logged"));
  tick_ms_ += 10;
  Handle(*handler, Hello("guesser", std::string(32, 'd')));
  handler->ResetForNewClient();
  EXPECT_TRUE(
      log.Contains("[Protocol] 1 more refused Hellos from the last client were not logged"));
}

TEST_F(ProtocolHandlerTest, TrustedDeviceIsAcceptedWhateverItsProof) {
  Trust("known");
  auto handler = MakeHandler();
  Handle(*handler, Hello("known", "wrong proof"));
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].hello_ack().result(), pb::AUTH_RESULT_OK);
  EXPECT_TRUE(handler->authenticated());
  // without a peer key there is no session key, but the host still offers its own
  EXPECT_TRUE(handler->Keys().primary.empty());
  EXPECT_EQ(sent_[0].hello_ack().ephemeral_public_key().size(), ExpectedHostKeySize());
}

// A client whose key the host could not agree on must not be handed the host's key: it
// would seal frames the host cannot open, and the session would hang.
TEST_F(ProtocolHandlerTest, AHelloWhoseKeyAgreementFailsGetsNoHostKey) {
  if (ExpectedHostKeySize() == 0) {
    GTEST_SKIP() << "no host key on this system";
  }
  LogCapture log;
  Trust("known");
  auto handler = MakeHandler();
  Handle(*handler, Hello("known", "", std::string(64, '\x01')));  // not a point on the curve
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_TRUE(sent_[0].hello_ack().ephemeral_public_key().empty());
  EXPECT_TRUE(handler->Keys().primary.empty());
  EXPECT_TRUE(log.Contains("[Protocol] Sent HelloAck (accepted=1, host_ephemeral_fp=none)"));

  Handle(*handler, Hello("known"));  // no key of its own: the host still offers its own
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_EQ(sent_[1].hello_ack().ephemeral_public_key().size(), ExpectedHostKeySize());
}

TEST_F(ProtocolHandlerTest, AuthenticatedOnlyMessagesAreOnlyLoggedBeforeHello) {
  LogCapture log;
  auto handler = MakeHandler();
  // Each payload field with an empty message, straight from its wire tag.
  const std::vector<std::pair<uint32_t, const char*>> cases = {
      {12, "CapabilityExchange"}, {14, "StartStream"},       {15, "StopStream"},
      {20, "SetQualityProfile"},  {21, "RequestKeyframe"},   {22, "SetAudioEnabled"},
      {23, "FirstFrameRendered"}, {30, "StartFileTransfer"}, {33, "ClipboardUpdate"}};
  for (const auto& [field, name] : cases) {
    std::vector<uint8_t> wire;
    for (uint32_t tag = field << 3 | 2; tag != 0; tag >>= 7) {
      wire.push_back(static_cast<uint8_t>((tag & 0x7F) | (tag > 0x7F ? 0x80 : 0)));
    }
    wire.push_back(0);  // empty message
    EXPECT_TRUE(handler->HandleControlMessage(wire.data(), wire.size()).ok);
    EXPECT_TRUE(log.Contains(std::string("[Protocol] ") + name + " ignored before authentication"))
        << name;
  }
  EXPECT_TRUE(sent_.empty());
  EXPECT_TRUE(requests_.empty());
}

TEST_F(ProtocolHandlerTest, AFileRequestGoesToTheSessionUnanswered) {
  Trust("known");
  auto handler = MakeHandler();
  Handle(*handler, Hello("known"));
  pb::ControlMessage request;
  request.mutable_start_file_transfer()->set_transfer_id("t-1");
  request.mutable_start_file_transfer()->set_filename("photo.jpg");
  request.mutable_start_file_transfer()->set_file_size_bytes(1234);
  Handle(*handler, request);
  const auto requests = Requests<FileTransferRequest>();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].transfer.transfer_id(), "t-1");
  EXPECT_EQ(requests[0].transfer.filename(), "photo.jpg");
  EXPECT_EQ(requests[0].transfer.file_size_bytes(), 1234u);
  // The handler answers nothing itself: the session does, with the receiver's verdict.
  EXPECT_TRUE(sent_.size() == 1 && sent_[0].has_hello_ack());
}

TEST_F(ProtocolHandlerTest, EveryClipboardUpdateGoesToTheSession) {
  LogCapture log;
  Trust("tablet-1");
  auto handler = MakeHandler();
  ASSERT_TRUE(Handle(*handler, Hello("tablet-1")).ok);
  ASSERT_TRUE(handler->authenticated());
  const auto update = [](const std::string& text, const std::string& image) {
    pb::ControlMessage message;
    message.mutable_clipboard_update()->set_text(text);
    message.mutable_clipboard_update()->set_has_image(!image.empty());
    message.mutable_clipboard_update()->set_image_data(image);
    message.mutable_clipboard_update()->set_mime_type(image.empty() ? "" : "image/png");
    return message;
  };
  ASSERT_TRUE(Handle(*handler, update("first", "")).ok);
  ASSERT_TRUE(Handle(*handler, update("second", std::string("\x89PNG\0", 5))).ok);
  EXPECT_TRUE(
      log.Contains("[Protocol] ClipboardUpdate from mobile (text=6 chars, image=1, bytes=5)"));
  const auto requests = Requests<ClipboardRequest>();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].clipboard.text, "first");
  EXPECT_EQ(requests[1].clipboard.text, "second");
  EXPECT_EQ(requests[1].clipboard.image_data, std::string("\x89PNG\0", 5));
  EXPECT_EQ(requests[1].clipboard.mime_type, "image/png");
}

TEST_F(ProtocolHandlerTest, PingStatsTerminateAndRekeyAreHandledBeforeAuthentication) {
  LogCapture log;
  auto handler = MakeHandler();
  pb::ControlMessage ping;
  ping.mutable_ping()->set_send_timestamp_us(777);
  Handle(*handler, ping);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].pong().ping_timestamp_us(), 777u);
  EXPECT_GT(sent_[0].pong().pong_timestamp_us(), 0u);

  pb::ControlMessage stats;
  stats.mutable_stats_report()->set_rtt_ms(12.5f);
  stats.mutable_stats_report()->set_packet_loss_pct(3.0f);
  stats.mutable_stats_report()->set_jitter_ms(1.25f);
  Handle(*handler, stats);
  const auto reports = Requests<ClientStatsReport>();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rtt_ms, 12.5f);
  EXPECT_EQ(reports[0].packet_loss_pct, 3.0f);
  EXPECT_EQ(reports[0].jitter_ms, 1.25f);

  pb::ControlMessage terminate;
  terminate.mutable_session_terminate()->set_reason("bye\nforged line");
  Handle(*handler, terminate);
  EXPECT_EQ(Requests<StopStreamRequest>().size(), 1u);
  EXPECT_TRUE(log.Contains("[Protocol] SessionTerminate: bye\\x0Aforged line"));

  pb::ControlMessage rekey;
  rekey.mutable_rekey_required()->set_reason("desync");
  rekey.mutable_rekey_required()->set_server_epoch(9);
  Handle(*handler, rekey);
  EXPECT_TRUE(log.Contains("[Protocol] Client requested rekey: reason=desync epoch=9"));
}

TEST_F(ProtocolHandlerTest, UnhandledAndUnparsableMessages) {
  LogCapture log;
  auto handler = MakeHandler();
  pb::ControlMessage rotation;
  rotation.mutable_key_rotation()->set_next_epoch(1);
  EXPECT_TRUE(Handle(*handler, rotation).ok);
  EXPECT_TRUE(log.Contains("[Protocol] Unhandled message type: 80"));
  EXPECT_TRUE(Handle(*handler, pb::ControlMessage()).ok);
  EXPECT_TRUE(log.Contains("[Protocol] Unhandled message type: 0"));

  const uint8_t garbage[] = {0xFF, 0x01};
  const Status status = handler->HandleControlMessage(garbage, sizeof(garbage));
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.code, 4);
  EXPECT_EQ(status.message, "Failed to parse control message");
  EXPECT_TRUE(log.Contains("[Protocol] Failed to parse control message size=2 prefix=FF010000"));
  EXPECT_TRUE(sent_.empty());
}

struct NegotiationCase {
  std::vector<pb::VideoCodec> codecs;
  std::vector<uint32_t> fps;
  uint32_t width, height;  // preferred resolution; 0 0 means absent
  pb::VideoCodec expected_codec;
  uint32_t expected_fps, expected_width, expected_height;
};

class NegotiationTest : public ProtocolHandlerTest,
                        public ::testing::WithParamInterface<NegotiationCase> {};

TEST_P(NegotiationTest, PicksCodecFrameRateAndResolution) {
  Trust("known");
  auto handler = MakeHandler();
  handler->SetUdpPorts(5001, 5002);
  Handle(*handler, Hello("known"));
  const NegotiationCase& c = GetParam();
  pb::ControlMessage message;
  pb::CapabilityExchange* caps = message.mutable_capability_exchange();
  for (const pb::VideoCodec codec : c.codecs) {
    caps->add_supported_codecs(codec);
  }
  for (const uint32_t fps : c.fps) {
    caps->add_supported_fps(fps);
  }
  if (c.width != 0 || c.height != 0) {
    caps->mutable_preferred_resolution()->set_width(c.width);
    caps->mutable_preferred_resolution()->set_height(c.height);
  }
  caps->mutable_audio()->set_opus_supported(true);
  caps->mutable_input()->set_pen_pressure(true);
  Handle(*handler, message);

  ASSERT_EQ(sent_.back().payload_case(), pb::ControlMessage::kCapabilityAccept);
  const pb::CapabilityAccept& accept = sent_.back().capability_accept();
  EXPECT_EQ(accept.selected_codec(), c.expected_codec);
  EXPECT_EQ(accept.selected_fps(), c.expected_fps);
  EXPECT_EQ(accept.selected_resolution().width(), c.expected_width);
  EXPECT_EQ(accept.selected_resolution().height(), c.expected_height);
  EXPECT_TRUE(accept.audio_enabled());
  EXPECT_TRUE(accept.input_enabled());
  EXPECT_EQ(accept.initial_bitrate_kbps(), 8000u);
  EXPECT_EQ(accept.media_udp_port(), 5001u);
  EXPECT_EQ(accept.input_udp_port(), 5002u);
  EXPECT_FALSE(accept.fec_enabled());
  EXPECT_EQ(handler->Negotiated().fps, c.expected_fps);
}

constexpr auto H264 = pb::VIDEO_CODEC_H264;
constexpr auto HEVC = pb::VIDEO_CODEC_HEVC;
INSTANTIATE_TEST_SUITE_P(
    Table, NegotiationTest,
    ::testing::Values(NegotiationCase{{HEVC, H264}, {}, 0, 0, H264, 60, 1920, 1080},
                      NegotiationCase{{HEVC}, {30}, 0, 0, HEVC, 60, 1920, 1080},
                      NegotiationCase{{}, {30, 90, 144}, 0, 0, H264, 90, 1920, 1080},
                      NegotiationCase{{H264}, {120, 90}, 3840, 2160, H264, 120, 3840, 2160},
                      NegotiationCase{{H264}, {}, 3841, 2160, H264, 60, 1920, 1080},
                      NegotiationCase{{H264}, {}, 1280, 300, H264, 60, 1920, 1080},
                      NegotiationCase{{H264}, {}, 0, 720, H264, 60, 1920, 1080},
                      NegotiationCase{{H264}, {}, 640, 360, H264, 60, 640, 360}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(ProtocolHandlerTest, QualityProfileStepsTheFrameRate) {
  Trust("known");
  auto handler = MakeHandler();
  Handle(*handler, Hello("known"));
  for (const auto& [requested, expected] : std::vector<std::pair<uint32_t, uint32_t>>{
           {75, 60}, {89, 60}, {90, 90}, {200, 120}, {0, 30}}) {
    pb::ControlMessage message;
    message.mutable_set_quality_profile()->set_target_fps(requested);
    message.mutable_set_quality_profile()->set_target_bitrate_kbps(3000);
    message.mutable_set_quality_profile()->set_codec(HEVC);
    Handle(*handler, message);
    EXPECT_EQ(handler->Negotiated().fps, expected) << requested;
  }
  EXPECT_EQ(handler->Negotiated().bitrate_kbps, 3000u);
  EXPECT_EQ(handler->Negotiated().codec, VideoCodec::kHevc);
}

TEST_F(ProtocolHandlerTest, StreamRequestsAndRepliesCarryIncreasingSequenceIds) {
  Trust("known");
  auto handler = MakeHandler();
  Handle(*handler, Hello("known"));
  pb::ControlMessage start;
  start.mutable_start_stream()->set_session_id("s-1");
  Handle(*handler, start);
  EXPECT_EQ(Requests<StartStreamRequest>().size(), 1u);
  EXPECT_EQ(handler->SessionId(), "s-1");

  pb::ControlMessage keyframe;
  keyframe.mutable_request_keyframe()->set_stream_id("s-1");
  Handle(*handler, keyframe);
  EXPECT_EQ(Requests<KeyframeRequest>().size(), 1u);

  handler->messages().SendStreamStarted("s-1");
  EXPECT_TRUE(handler->messages().stream_active());
  pb::ControlMessage stop;
  stop.mutable_stop_stream()->set_session_id("s-2");
  Handle(*handler, stop);
  EXPECT_EQ(Requests<StopStreamRequest>().size(), 1u);
  EXPECT_FALSE(handler->messages().stream_active());
  ASSERT_EQ(sent_.back().payload_case(), pb::ControlMessage::kStreamStopped);
  EXPECT_EQ(sent_.back().stream_stopped().session_id(), "s-2");

  for (size_t i = 0; i < sent_.size(); ++i) {
    EXPECT_EQ(sent_[i].sequence_id(), i + 1);
    EXPECT_EQ(sent_[i].protocol_version(), 1u);
  }
  EXPECT_EQ(sent_[1].stream_started().stream_id(), "s-1");

  handler->ResetForNewClient();
  EXPECT_FALSE(handler->authenticated());
}

}  // namespace
}  // namespace orvane
