#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "protocol/client_request.h"
#include "protocol/host_messages.h"
#include "protocol/negotiated_stream.h"
#include "protocol/orvane_protocol_v1.pb.h"
#include "security/session_crypto.h"
#include "security/trust_store.h"

namespace orvane {

struct SessionKeys {
  std::vector<uint8_t> primary;
  std::vector<uint8_t> compatibility;
};

// The host's side of the control protocol: parses and dispatches client messages, runs
// the handshake and the negotiation, and answers them. What the session is to act on
// leaves as typed requests through the request callback; what the host sends of its own
// accord goes through messages().
class ProtocolHandler {
 public:
  using RequestCallback = std::function<void(ClientRequest request)>;

  explicit ProtocolHandler(
      TrustStoreEnvironment trust_environment = TrustStoreEnvironment::System());
  ProtocolHandler(const ProtocolHandler&) = delete;
  ProtocolHandler& operator=(const ProtocolHandler&) = delete;

  // Control-receive thread only.
  Status HandleControlMessage(const uint8_t* data, size_t size);

  void SetHostIdentity(const std::string& host_id, const std::string& host_name);
  void SetUdpPorts(uint16_t media_port, uint16_t input_port);
  void SetRequestCallback(RequestCallback callback) { request_callback_ = std::move(callback); }

  // A client that becomes active starts from nothing: unauthenticated, without keys. It
  // must send its own Hello.
  void ResetForNewClient();

  NegotiatedStream Negotiated() const;
  std::string SessionId() const;
  SessionKeys Keys() const;
  // Makes the compatibility key the only key (after a frame opened with it).
  void PromoteCompatibilityKey();

  bool authenticated() const { return authenticated_.load(); }

  // The connection's outgoing messages: the handler's answers go through it, and so does
  // what the session sends.
  HostMessages& messages() { return messages_; }

  // Writes the trusted-device list (after a TrustChangedRequest), away from the thread
  // that reads the client's frames.
  void SaveTrust();

 private:
  void SendHelloAckAccepted();
  void SendHelloAckPairingRequired(const std::string& pairing_code);
  void HandleHello(const protocol::v1::Hello& hello);
  // Whether this Hello goes unlogged: the client was refused a logged Hello less than
  // kRefusedHelloLogMs ago, and this one will be refused too (not trusted, and no proof
  // or one that will not be checked). Reports the unlogged ones otherwise.
  bool QuietHello(const protocol::v1::Hello& hello, uint64_t now_ms);
  void HandleHelloMessage(const protocol::v1::Hello& hello);
  void DeriveSessionKeys(const std::string& peer_key);
  void CheckPairing(const protocol::v1::Hello& hello);
  void HandleCapabilityExchange(const protocol::v1::CapabilityExchange& caps);
  void HandleSetQualityProfile(const protocol::v1::SetQualityProfile& profile);
  void HandleStatsReport(const protocol::v1::StatsReport& report);
  void SendHelloAck(protocol::v1::AuthResult result);
  // The host key a HelloAck carries: none when this client's key agreement failed.
  std::span<const uint8_t> OfferedHostKey() const;
  void Request(ClientRequest request);

  HostMessages messages_;
  RequestCallback request_callback_;
  SessionCrypto crypto_;
  EphemeralKeyPair host_key_;
  std::string host_id_ = "orvane-host";
  std::string host_name_ = "Orvane Host";
  uint16_t media_port_ = 9431;
  uint16_t input_port_ = 9432;
  TrustStore trust_store_;
  std::function<uint64_t()> tick_ms_;
  // A client looping on refused Hellos gets every answer, but its Hellos are logged in
  // full at most this often; the others are counted and reported.
  static constexpr uint64_t kRefusedHelloLogMs = 2000;
  std::optional<uint64_t> last_logged_refusal_ms_;
  uint64_t unlogged_refusals_ = 0;
  std::atomic<bool> authenticated_{false};

  // Guards what the receive thread writes and the supervisor and frame loop read.
  mutable std::mutex mutex_;
  NegotiatedStream negotiated_;
  std::string session_id_;
  SessionKeys keys_;

  // Receive thread only: the client of the last Hello.
  std::string client_id_;
  std::string client_name_;
  std::string peer_key_;
  bool key_agreement_failed_ = false;
};

}  // namespace orvane
