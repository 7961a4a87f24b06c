#include "client/control_client.h"

#include <gtest/gtest.h>

#include "client/pairing_proof.h"
#include "net/tcp_control_server.h"
#include "security/secure_envelope.h"
#include "support/test_socket.h"

namespace orvane::client {
namespace {

namespace v1 = orvane::protocol::v1;
using namespace std::chrono_literals;

std::vector<uint8_t> BytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

// The host's side of the control channel: its real transport and its key derivation.
class FakeHost {
 public:
  FakeHost() : port_(testing::FreeTcpPort()), key_pair_(crypto_.GenerateEphemeralKey()) {
    EXPECT_TRUE(server_.StartListening(port_).ok);
  }

  uint16_t port() const { return port_; }
  bool Accept() { return server_.WaitForActiveClient(); }
  TcpControlServer& server() { return server_; }

  std::vector<uint8_t> ReceiveFrame() {
    std::vector<uint8_t> frame;
    EXPECT_TRUE(server_.ReceiveFrame(frame).ok);
    return frame;
  }
  // Opens the frame with `key` as the host's control-receive loop does.
  v1::ControlMessage ReceiveMessage(const std::vector<uint8_t>& key = {}) {
    const std::optional<std::vector<uint8_t>> plain =
        OpenEnvelope(ReceiveFrame(), key, kControlDirection);
    v1::ControlMessage message;
    EXPECT_TRUE(plain && message.ParseFromArray(plain->data(), static_cast<int>(plain->size())));
    return message;
  }
  void Send(const v1::ControlMessage& message) {
    const std::string bytes = message.SerializeAsString();
    ASSERT_TRUE(server_.SendFrame(reinterpret_cast<const uint8_t*>(bytes.data()),
                                  static_cast<uint32_t>(bytes.size())));
  }
  // Derives the host's two keys from the Hello, as the host does, and accepts it.
  SessionKeys AnswerHello(const v1::Hello& hello, bool with_host_key = true) {
    const std::vector<uint8_t> peer = BytesOf(hello.ephemeral_public_key());
    SessionKeys keys{crypto_.DeriveSessionKey(key_pair_.private_key.get(), peer, {}, false),
                     crypto_.DeriveSessionKey(key_pair_.private_key.get(), peer, {}, true)};
    v1::ControlMessage ack;
    ack.mutable_hello_ack()->set_result(v1::AUTH_RESULT_OK);
    if (with_host_key) {
      ack.mutable_hello_ack()->set_ephemeral_public_key(key_pair_.public_key.data(),
                                                        key_pair_.public_key.size());
    }
    Send(ack);
    return keys;
  }

 private:
  uint16_t port_;
  SessionCrypto crypto_;
  EphemeralKeyPair key_pair_;
  TcpControlServer server_;
};

v1::ControlMessage Ping(uint64_t stamp) {
  v1::ControlMessage message;
  message.mutable_ping()->set_send_timestamp_us(stamp);
  return message;
}

class ControlClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client_.Connect("127.0.0.1", host_.port())) << client_.last_error();
    ASSERT_TRUE(host_.Accept());
  }

  const ClientIdentity identity_{"orvane-client-0011223344556677", "Test tablet"};
  FakeHost host_;
  ControlClient client_;
};

// Wine's CNG may lack ECDH key agreement; the tests that need it then skip and say so.
// Anywhere else a missing key agreement is a failure.
class ControlClientKeyTest : public ControlClientTest {
 protected:
  void SetUp() override {
#ifdef _WIN32
    SessionCrypto crypto;
    const EphemeralKeyPair one = crypto.GenerateEphemeralKey();
    const EphemeralKeyPair two = crypto.GenerateEphemeralKey();
    if (crypto.DeriveSessionKey(one.private_key.get(), two.public_key, {}, false).empty()) {
      GTEST_SKIP() << "this Windows (Wine) has no usable CNG ECDH key agreement";
    }
#endif
    ControlClientTest::SetUp();
  }
};

TEST_F(ControlClientKeyTest, HelloCarriesIdentityKeyAndProof) {
  ASSERT_TRUE(client_.SendHello(identity_, "042042"));
  const v1::ControlMessage message = host_.ReceiveMessage();
  ASSERT_TRUE(message.has_hello());
  EXPECT_EQ(message.protocol_version(), 1u);
  EXPECT_EQ(message.sequence_id(), 1u);
  EXPECT_GT(message.timestamp_us(), 0u);
  const v1::Hello& hello = message.hello();
  EXPECT_EQ(hello.client_id(), identity_.client_id);
  EXPECT_EQ(hello.client_name(), identity_.client_name);
  EXPECT_EQ(hello.protocol_version(), 1u);
  EXPECT_FALSE(hello.app_version().empty());
  const std::vector<uint8_t> key = BytesOf(hello.ephemeral_public_key());
  EXPECT_EQ(key.size(), 64u);
  EXPECT_EQ(key, std::vector<uint8_t>(client_.ephemeral_public_key().begin(),
                                      client_.ephemeral_public_key().end()));
  EXPECT_EQ(BytesOf(hello.pairing_proof()), PairingProof("042042", identity_.client_id, key));
}

TEST_F(ControlClientKeyTest, KeysFromHelloAckEqualTheHostsAndSealEveryMode) {
  ASSERT_TRUE(client_.SendHello(identity_));
  const v1::ControlMessage hello = host_.ReceiveMessage();
  EXPECT_TRUE(hello.hello().pairing_proof().empty());
  const SessionKeys host_keys = host_.AnswerHello(hello.hello());
  ASSERT_TRUE(client_.ReceiveUntil(v1::ControlMessage::kHelloAck, 5s));
  ASSERT_EQ(host_keys.primary.size(), 32u);
  EXPECT_EQ(client_.primary_key(), host_keys.primary);
  EXPECT_EQ(client_.compatibility_key(), host_keys.compatibility);
  EXPECT_NE(client_.primary_key(), client_.compatibility_key());

  struct Case {
    FrameMode mode;
    const std::vector<uint8_t>& opening_key;
    const std::vector<uint8_t>& other_key;
  };
  const Case cases[] = {
      {FrameMode::kSealedPrimary, host_keys.primary, host_keys.compatibility},
      {FrameMode::kSealedCompatibility, host_keys.compatibility, host_keys.primary},
      {FrameMode::kClearEnvelope, host_keys.primary, host_keys.primary},
  };
  uint64_t previous_counter = 0;
  uint64_t sequence_id = 2;
  for (const Case& c : cases) {
    ASSERT_TRUE(client_.Send(Ping(sequence_id), c.mode));
    const std::vector<uint8_t> frame = host_.ReceiveFrame();
    const EnvelopeView view = ParseEnvelope(frame);
    EXPECT_GT(view.counter, previous_counter);
    previous_counter = view.counter;
    if (view.kind == EnvelopeKind::kSealed) {
      EXPECT_FALSE(OpenEnvelope(frame, c.other_key, kControlDirection));
    }
    const auto plain = OpenEnvelope(frame, c.opening_key, kControlDirection);
    ASSERT_TRUE(plain);
    v1::ControlMessage ping;
    ASSERT_TRUE(ping.ParseFromArray(plain->data(), static_cast<int>(plain->size())));
    EXPECT_EQ(ping.ping().send_timestamp_us(), sequence_id);
    EXPECT_EQ(ping.sequence_id(), sequence_id);
    ++sequence_id;
  }
}

TEST_F(ControlClientKeyTest, NoKeysWithoutBothEphemeralKeys) {
  // The client sends no key: the host's key alone gives nothing.
  ASSERT_TRUE(client_.SendHello(identity_, "", false));
  const v1::ControlMessage keyless = host_.ReceiveMessage();
  EXPECT_TRUE(keyless.hello().ephemeral_public_key().empty());
  EXPECT_TRUE(client_.ephemeral_public_key().empty());
  host_.AnswerHello(keyless.hello());
  ASSERT_TRUE(client_.ReceiveUntil(v1::ControlMessage::kHelloAck, 5s));
  EXPECT_TRUE(client_.primary_key().empty());
  EXPECT_FALSE(client_.Send(Ping(1), FrameMode::kSealedPrimary));

  // The host sends no key back.
  ASSERT_TRUE(client_.SendHello(identity_));
  host_.AnswerHello(host_.ReceiveMessage().hello(), false);
  ASSERT_TRUE(client_.ReceiveUntil(v1::ControlMessage::kHelloAck, 5s));
  EXPECT_TRUE(client_.primary_key().empty());
  EXPECT_TRUE(client_.compatibility_key().empty());
}

TEST_F(ControlClientKeyTest, NewHelloDropsTheKeysOfTheLastOne) {
  ASSERT_TRUE(client_.SendHello(identity_));
  host_.AnswerHello(host_.ReceiveMessage().hello());
  ASSERT_TRUE(client_.ReceiveUntil(v1::ControlMessage::kHelloAck, 5s));
  ASSERT_FALSE(client_.primary_key().empty());
  const std::vector<uint8_t> first_key(client_.ephemeral_public_key().begin(),
                                       client_.ephemeral_public_key().end());

  ASSERT_TRUE(client_.SendHello(identity_));
  EXPECT_TRUE(client_.primary_key().empty());
  const v1::ControlMessage second = host_.ReceiveMessage();
  EXPECT_NE(BytesOf(second.hello().ephemeral_public_key()), first_key);
  const SessionKeys host_keys = host_.AnswerHello(second.hello());
  ASSERT_TRUE(client_.ReceiveUntil(v1::ControlMessage::kHelloAck, 5s));
  EXPECT_EQ(client_.primary_key(), host_keys.primary);
}

TEST_F(ControlClientTest, TimeoutKeepsTheConnectionAndReceiveUntilSkipsOthers) {
  EXPECT_FALSE(client_.Receive(30ms));
  EXPECT_TRUE(client_.connected());

  v1::ControlMessage pong;
  pong.mutable_pong()->set_ping_timestamp_us(5);
  v1::ControlMessage accept;
  accept.mutable_capability_accept()->set_selected_fps(90);
  host_.Send(pong);
  host_.Send(accept);
  const auto received = client_.ReceiveUntil(v1::ControlMessage::kCapabilityAccept, 5s);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->capability_accept().selected_fps(), 90u);
  EXPECT_FALSE(client_.ReceiveUntil(v1::ControlMessage::kPong, 30ms));
}

TEST_F(ControlClientTest, FrameThatIsNoControlMessageEndsTheConnection) {
  const uint8_t garbage[] = {0xFF, 0xFF, 0xFF};
  ASSERT_TRUE(host_.server().SendFrame(garbage, sizeof(garbage)));
  EXPECT_FALSE(client_.Receive(5s));
  EXPECT_FALSE(client_.connected());
  EXPECT_NE(client_.last_error().find("not a control message"), std::string::npos);
}

TEST_F(ControlClientTest, HostClosingIsSeenAsClosedNotAsTimeout) {
  host_.server().Stop();
  EXPECT_FALSE(client_.Receive(5s));
  EXPECT_FALSE(client_.connected());
  EXPECT_FALSE(client_.Send(Ping(1)));
}

TEST_F(ControlClientTest, RawFramesAndBytesGoOutUnchanged) {
  ASSERT_TRUE(client_.SendRawFrame({0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(host_.ReceiveFrame(), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));

  ASSERT_TRUE(client_.SendRawBytes({0, 0, 0, 0}));
  std::vector<uint8_t> frame;
  EXPECT_EQ(host_.server().ReceiveFrame(frame).message, "Invalid TCP frame size");
}

}  // namespace
}  // namespace orvane::client
