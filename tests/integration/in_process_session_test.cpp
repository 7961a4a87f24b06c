#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "client/client_identity.h"
#include "client/control_client.h"
#include "security/secure_envelope.h"
#include "session/host_session.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
namespace pb = protocol::v1;
using namespace std::chrono_literals;

class RecordingInjector : public InputInjector {
 public:
  void InjectTouch(uint32_t action, uint32_t pointer_id, float x, float y, float) override {
    std::lock_guard<std::mutex> lock(mutex_);
    touches_.push_back({action, pointer_id, x, y});
  }
  void InjectPen(uint32_t, float, float, float, float, float, float, uint32_t) override {}
  void InjectKey(uint32_t, uint32_t, uint32_t) override {}
  void SetScreenSize(uint32_t width, uint32_t) override { screen_width_ = width; }

  struct Touch {
    uint32_t action, pointer_id;
    float x, y;
  };
  std::vector<Touch> Touches() {
    std::lock_guard<std::mutex> lock(mutex_);
    return touches_;
  }
  std::atomic<uint32_t> screen_width_{0};

 private:
  std::mutex mutex_;
  std::vector<Touch> touches_;
};

class FakeEncoder : public VideoEncoder {
 public:
  explicit FakeEncoder(bool works) : works_(works) {}
  bool Initialize(VideoCodec, uint32_t, uint32_t, uint32_t, uint32_t) override { return works_; }
  bool EncodeFrame(const uint8_t*, uint32_t, uint32_t, uint32_t, uint64_t) override { return true; }
  bool ReceiveAccessUnit(EncodedAccessUnit&) override { return false; }
  void RequestKeyframe() override {}
  bool SetBitrate(uint32_t) override { return true; }
  void SetFrameRate(uint32_t) override {}
  void Shutdown() override {}
  Status LastStatus() const override {
    return works_ ? Status{} : Status::Failure(StatusCode::kCodec, "Encoder refused the size");
  }

 private:
  bool works_;
};

// Sends one datagram from `local_address` to the host's input port; returns the source port.
uint16_t SendUdp(const std::string& local_address, uint16_t port,
                 const std::vector<uint8_t>& bytes) {
  const SocketHandle udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, local_address.c_str(), &local.sin_addr);
  bind(udp, reinterpret_cast<const sockaddr*>(&local), sizeof(local));
  socklen_t size = sizeof(local);
  getsockname(udp, reinterpret_cast<sockaddr*>(&local), &size);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  sendto(udp, reinterpret_cast<const char*>(bytes.data()), bytes.size(), 0,
         reinterpret_cast<const sockaddr*>(&remote), sizeof(remote));
  CloseSocket(udp);
  return ntohs(local.sin_port);
}

std::vector<uint8_t> Touch(uint32_t pointer_id, float x) {
  pb::InputEvent event;
  event.mutable_touch()->set_action(pb::TOUCH_ACTION_MOVE);
  event.mutable_touch()->set_pointer_id(pointer_id);
  event.mutable_touch()->set_x_normalized(x);
  const std::string bytes = event.SerializeAsString();
  return {bytes.begin(), bytes.end()};
}

// A session in this process, so that its injector can be watched, driven by the
// reference client over loopback.
class InProcessSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SessionEnvironment environment;
    environment.trust.folder = [this] { return folder_; };
    environment.platform.input_injector = [this] {
      auto injector = std::make_unique<RecordingInjector>();
      injector_ = injector.get();
      return injector;
    };
    environment.platform.video_encoder = [this] {
      return std::make_unique<FakeEncoder>(encoder_works_);
    };
    TrustStore trust(environment.trust);
    trust.TrustDevice(identity_.client_id, identity_.client_name);
    ASSERT_TRUE(trust.Save());

    options_.control_port = FreeTcpPort();
    options_.media_port = FreeUdpPort();
    options_.input_port = FreeUdpPort();
    session_ = std::make_unique<HostSession>(environment);
    ASSERT_TRUE(session_->Initialize(options_));
    runner_ = std::thread([this] { session_->Run(); });
    ASSERT_TRUE(control_.Connect("127.0.0.1", options_.control_port)) << control_.last_error();
    ASSERT_TRUE(log_.WaitFor("[UDPRecv] Listening for input on port"));
  }
  void TearDown() override {
    session_->RequestStop();
    runner_.join();
    session_.reset();
  }

  void Authenticate() {
    ASSERT_TRUE(control_.SendHello(identity_));
    const auto ack = control_.ReceiveUntil(pb::ControlMessage::kHelloAck, 5s);
    ASSERT_TRUE(ack && ack->hello_ack().result() == pb::AUTH_RESULT_OK);
  }

  void StartStream() {
    pb::ControlMessage start;
    start.mutable_start_stream()->set_session_id("s");
    ASSERT_TRUE(control_.Send(start, client::FrameMode::kSealedPrimary));
    ASSERT_TRUE(control_.ReceiveUntil(pb::ControlMessage::kStreamStarted, 5s));
  }

  // Input is handled on its own thread: a marker touch sent last shows that everything
  // before it has been handled.
  bool Settled() {
    SendUdp("127.0.0.1", options_.input_port, Touch(999, 0.5f));
    return WaitUntil([&] {
      for (const auto& touch : injector_->Touches()) {
        if (touch.pointer_id == 999) {
          return true;
        }
      }
      return false;
    });
  }

  std::atomic<bool> encoder_works_{true};
  TempFolder temp_{"orvane-input"};
  const fs::path folder_ = temp_.path();
  client::ClientIdentity identity_{"input-device", "Input tablet"};
  RecordingInjector* injector_ = nullptr;  // owned by the session
  HostOptions options_;
  LogCapture log_;
  std::unique_ptr<HostSession> session_;
  std::thread runner_;
  client::ControlClient control_;
};

TEST_F(InProcessSessionTest, NothingIsInjectedBeforeAuthentication) {
  SendUdp("127.0.0.1", options_.input_port, Touch(1, 0.25f));
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(injector_->Touches().empty());
  Authenticate();
  SendUdp("127.0.0.1", options_.input_port, Touch(2, 0.25f));
  ASSERT_TRUE(Settled());
  const auto touches = injector_->Touches();
  ASSERT_EQ(touches.size(), 2u);
  EXPECT_EQ(touches[0].pointer_id, 2u);
  EXPECT_FLOAT_EQ(touches[0].x, 0.25f);
}

TEST_F(InProcessSessionTest, OnlyTheControlClientsAddressMayPunchOrSendBareInput) {
  Authenticate();
  SendUdp("127.0.0.2", options_.input_port, {'O', 'R', 'V', 'M', 'P', '1'});
  SendUdp("127.0.0.2", options_.input_port, Touch(3, 0.1f));
  const uint16_t punch_port =
      SendUdp("127.0.0.1", options_.input_port, {'O', 'R', 'V', 'M', 'P', '1'});
  EXPECT_TRUE(log_.WaitFor("[Session] Media UDP remote endpoint updated via punch: 127.0.0.1:" +
                           std::to_string(punch_port)));
  ASSERT_TRUE(Settled());
  EXPECT_EQ(log_.Count("updated via punch"), 1u);
  EXPECT_EQ(injector_->Touches().size(), 1u);  // the marker only
}

TEST_F(InProcessSessionTest, AcceptsALengthPrefixedEventAndDropsSealedInputThatDoesNotOpen) {
  Authenticate();
  StartStream();
  EXPECT_TRUE(log_.Contains("[Session] Transport encryption enabled"));

  const std::vector<uint8_t> event = Touch(4, 0.75f);
  std::vector<uint8_t> prefixed = BigEndianLength(static_cast<uint32_t>(event.size()));
  prefixed.insert(prefixed.end(), event.begin(), event.end());
  SendUdp("127.0.0.1", options_.input_port, prefixed);

  std::vector<uint8_t> forged;
  ASSERT_TRUE(
      SealEnvelope(std::vector<uint8_t>(32, 0x33), kInputDirection, 1, Touch(5, 0.5f), forged));
  SendUdp("127.0.0.1", options_.input_port, forged);

  std::vector<uint8_t> sealed;
  ASSERT_TRUE(SealEnvelope(control_.primary_key(), kInputDirection, 2, Touch(6, 0.5f), sealed));
  SendUdp("127.0.0.1", options_.input_port, sealed);

  ASSERT_TRUE(Settled());
  std::vector<uint32_t> ids;
  for (const auto& touch : injector_->Touches()) {
    ids.push_back(touch.pointer_id);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{4, 6, 999}));
  EXPECT_EQ(injector_->screen_width_.load(), 1920u);  // the negotiated picture
}

TEST_F(InProcessSessionTest, EncoderFailureAbortsTheStreamStartInOrder) {
  Authenticate();
  encoder_works_ = false;
  pb::ControlMessage start;
  start.mutable_start_stream()->set_session_id("s-1");
  ASSERT_TRUE(control_.Send(start, client::FrameMode::kSealedPrimary));

  std::vector<pb::ControlMessage> replies;
  while (replies.size() < 4) {
    auto reply = control_.Receive(5s);
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
  EXPECT_TRUE(log_.Contains(
      "[Session] Encoder failure details monitor=0 code=6 msg=Encoder refused the size"));
  EXPECT_TRUE(log_.Contains("[Session] Stream start aborted: no monitor pipeline is ready"));
}

}  // namespace
}  // namespace orvane::testing
