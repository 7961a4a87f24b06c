#include "client/control_client.h"

#include <algorithm>

#include "client/pairing_proof.h"
#include "platform/clock.h"

namespace orvane::client {

namespace v1 = orvane::protocol::v1;

namespace {

constexpr uint32_t kProtocolVersion = 1;

}  // namespace

bool ControlClient::Connect(const std::string& host, uint16_t port,
                            const std::string& local_address) {
  key_pair_ = {};
  keys_ = {};
  next_sequence_id_ = 1;
  next_envelope_counter_ = 1;
  if (!connection_.Connect(host, port, local_address)) {
    last_error_ = connection_.last_error();
    return false;
  }
  last_error_.clear();
  return true;
}

void ControlClient::Close() {
  connection_.Close();
}

bool ControlClient::SendHello(const ClientIdentity& identity, const std::string& pairing_code,
                              bool with_key) {
  keys_ = {};
  key_pair_ = with_key ? crypto_.GenerateEphemeralKey() : EphemeralKeyPair{};
  if (with_key && key_pair_.public_key.empty()) {
    last_error_ = "no ephemeral key could be generated";
    return false;
  }
  v1::ControlMessage message;
  v1::Hello& hello = *message.mutable_hello();
  hello.set_client_id(identity.client_id);
  hello.set_client_name(identity.client_name);
  hello.set_app_version(ORVANE_VERSION);
  hello.set_protocol_version(kProtocolVersion);
  hello.set_ephemeral_public_key(key_pair_.public_key.data(), key_pair_.public_key.size());
  if (!pairing_code.empty()) {
    const std::vector<uint8_t> proof =
        PairingProof(pairing_code, identity.client_id, key_pair_.public_key);
    if (proof.empty()) {
      last_error_ = "the pairing proof could not be computed";
      return false;
    }
    hello.set_pairing_proof(proof.data(), proof.size());
  }
  return Send(std::move(message), FrameMode::kBare);
}

bool ControlClient::Send(v1::ControlMessage message, FrameMode mode) {
  message.set_protocol_version(kProtocolVersion);
  message.set_sequence_id(next_sequence_id_++);
  message.set_timestamp_us(MonotonicMicros());
  const std::string serialized = message.SerializeAsString();
  const auto* bytes = reinterpret_cast<const uint8_t*>(serialized.data());
  const uint64_t counter = mode == FrameMode::kBare ? 0 : next_envelope_counter_++;
  const std::optional<std::vector<uint8_t>> payload =
      FrameControlPayload({bytes, serialized.size()}, mode, keys_, counter);
  if (!payload) {
    last_error_ = "cannot seal the frame: no session key for this mode";
    return false;
  }
  return SendPayload(*payload);
}

bool ControlClient::SendRawFrame(const std::vector<uint8_t>& payload) {
  return SendPayload(payload);
}

bool ControlClient::SendRawBytes(const std::vector<uint8_t>& bytes) {
  if (!connection_.SendBytes(bytes)) {
    last_error_ = connection_.last_error();
    return false;
  }
  return true;
}

bool ControlClient::SendPayload(std::span<const uint8_t> payload) {
  if (!connection_.SendFrame(payload)) {
    last_error_ = connection_.last_error();
    return false;
  }
  return true;
}

std::optional<v1::ControlMessage> ControlClient::Receive(std::chrono::milliseconds timeout) {
  std::vector<uint8_t> frame;
  switch (connection_.ReceiveFrame(frame, timeout)) {
    case FramedConnection::ReceiveResult::kTimeout:
      last_error_ = "timed out waiting for the host";
      return std::nullopt;
    case FramedConnection::ReceiveResult::kClosed:
      last_error_ = connection_.last_error();
      return std::nullopt;
    case FramedConnection::ReceiveResult::kFrame:
      break;
  }
  v1::ControlMessage message;
  if (!message.ParseFromArray(frame.data(), static_cast<int>(frame.size()))) {
    last_error_ = "the host sent a frame of " + std::to_string(frame.size()) +
                  " bytes that is not a control message";
    connection_.Close();
    return std::nullopt;
  }
  if (message.has_hello_ack()) {
    TakeHostKey(message.hello_ack());
  }
  return message;
}

std::optional<v1::ControlMessage> ControlClient::ReceiveUntil(
    v1::ControlMessage::PayloadCase payload_case, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    std::optional<v1::ControlMessage> message =
        Receive(std::max(remaining, std::chrono::milliseconds(0)));
    if (!message || message->payload_case() == payload_case) {
      return message;
    }
  }
}

void ControlClient::TakeHostKey(const v1::HelloAck& ack) {
  const auto* host_key = reinterpret_cast<const uint8_t*>(ack.ephemeral_public_key().data());
  keys_ = key_pair_.private_key ? DeriveSessionKeys(crypto_, key_pair_.private_key.get(),
                                                    {host_key, ack.ephemeral_public_key().size()})
                                : SessionKeys{};
}

}  // namespace orvane::client
