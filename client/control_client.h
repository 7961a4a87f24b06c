#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "client/client_identity.h"
#include "client/control_framing.h"
#include "client/framed_connection.h"
#include "client/session_keys.h"
#include "protocol/orvane_protocol_v1.pb.h"
#include "security/session_crypto.h"

namespace orvane::client {

// The control channel as a mobile client speaks it: Hello with a fresh ephemeral key and
// an optional pairing proof, session keys taken from the host's HelloAck, and control
// messages sent bare, in a clear envelope or sealed. Used from one thread.
class ControlClient {
 public:
  ControlClient() = default;
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;

  // A new connection starts with no keys and both counters at 1.
  bool Connect(const std::string& host, uint16_t port, const std::string& local_address = "");
  void Close();
  bool connected() const { return connection_.is_open(); }

  // Sends Hello, always bare. With `with_key` a fresh ephemeral key goes with it (the keys
  // of any earlier Hello are dropped); a proof is added when `pairing_code` is not empty.
  bool SendHello(const ClientIdentity& identity, const std::string& pairing_code = "",
                 bool with_key = true);

  // Sets protocol_version 1, the next sequence_id and timestamp_us, then frames the message
  // per `mode`. Envelopes take the next value of the client's own control counter. False
  // when the mode needs a key that does not exist, or the send fails.
  bool Send(orvane::protocol::v1::ControlMessage message, FrameMode mode = FrameMode::kBare);
  // One frame around exactly these payload bytes.
  bool SendRawFrame(const std::vector<uint8_t>& payload);
  // Exactly these bytes on the stream, for frames with a broken length.
  bool SendRawBytes(const std::vector<uint8_t>& bytes);

  // The next message from the host; nullopt on timeout, close, or a frame that is not a
  // ControlMessage (which closes the connection). A HelloAck replaces the session keys.
  std::optional<orvane::protocol::v1::ControlMessage> Receive(std::chrono::milliseconds timeout);
  // Skips other messages until one with `payload_case` arrives, within `timeout` in all.
  std::optional<orvane::protocol::v1::ControlMessage> ReceiveUntil(
      orvane::protocol::v1::ControlMessage::PayloadCase payload_case,
      std::chrono::milliseconds timeout);

  // Equal to the host's primary and compatibility keys after an accepted key exchange.
  const std::vector<uint8_t>& primary_key() const { return keys_.primary; }
  const std::vector<uint8_t>& compatibility_key() const { return keys_.compatibility; }
  // The key of the latest Hello; empty before it or when it went without one.
  std::span<const uint8_t> ephemeral_public_key() const { return key_pair_.public_key; }

  // Why the latest operation failed.
  const std::string& last_error() const { return last_error_; }

 private:
  bool SendPayload(std::span<const uint8_t> payload);
  void TakeHostKey(const orvane::protocol::v1::HelloAck& ack);

  SessionCrypto crypto_;
  FramedConnection connection_;
  EphemeralKeyPair key_pair_;
  SessionKeys keys_;
  uint64_t next_sequence_id_ = 1;
  uint64_t next_envelope_counter_ = 1;
  std::string last_error_;
};

}  // namespace orvane::client
