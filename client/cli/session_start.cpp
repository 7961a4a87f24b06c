#include "client/cli/session_start.h"

#include <cstdio>

#include "client/client_identity.h"
#include "client/message_description.h"

namespace orvane::client::cli {

namespace v1 = orvane::protocol::v1;

namespace {

// False, after printing why, when the host cannot be reached.
bool Connect(ControlClient& client, const CommonOptions& common) {
  if (!client.Connect(common.host, common.port)) {
    std::fprintf(stderr, "Cannot connect to %s:%u: %s\n", common.host.c_str(),
                 static_cast<unsigned>(common.port), client.last_error().c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<v1::HelloAck> ConnectAndHello(ControlClient& client, const CommonOptions& common,
                                            const std::string& pairing_code) {
  ClientIdentity identity = LoadOrCreateIdentity(common.identity_file);
  if (identity.client_id.empty()) {
    std::fprintf(stderr, "No client identity: %s cannot be read and no new id could be made\n",
                 common.identity_file.string().c_str());
    return std::nullopt;
  }
  if (!common.name.empty()) {
    identity.client_name = common.name;
  }
  if (!Connect(client, common)) {
    return std::nullopt;
  }
  std::printf("Connected to %s:%u as %s (%s)\n", common.host.c_str(),
              static_cast<unsigned>(common.port), identity.client_id.c_str(),
              identity.client_name.c_str());
  if (!client.SendHello(identity, pairing_code)) {
    std::fprintf(stderr, "Cannot send Hello: %s\n", client.last_error().c_str());
    return std::nullopt;
  }
  const std::optional<v1::ControlMessage> ack =
      client.ReceiveUntil(v1::ControlMessage::kHelloAck, common.timeout);
  if (!ack) {
    std::fprintf(stderr, "No HelloAck: %s\n", client.last_error().c_str());
    return std::nullopt;
  }
  PrintReceived(*ack);
  return ack->hello_ack();
}

bool StartTrustedSession(ControlClient& client, const CommonOptions& common) {
  const std::optional<v1::HelloAck> ack = ConnectAndHello(client, common, "");
  if (!ack) {
    return false;
  }
  if (ack->result() == v1::AUTH_RESULT_PAIRING_REQUIRED) {
    std::fprintf(stderr,
                 "This device is not trusted yet. A pairing code is now shown on the host "
                 "console; run: orvane-client pair --code <six digits>\n");
    return false;
  }
  if (ack->result() != v1::AUTH_RESULT_OK) {
    std::fprintf(stderr, "The host refused this device\n");
    return false;
  }
  return true;
}

bool StartSession(ControlClient& client, const CommonOptions& common, bool say_hello) {
  return say_hello ? StartTrustedSession(client, common) : Connect(client, common);
}

FrameMode FrameModeFor(const CommonOptions& common, const ControlClient& client) {
  if (common.frame_mode) {
    return *common.frame_mode;
  }
  return client.primary_key().empty() ? FrameMode::kBare : FrameMode::kSealedPrimary;
}

void PrintReceived(const v1::ControlMessage& message) {
  std::printf("<- %s\n", Describe(message).c_str());
  std::fflush(stdout);
}

}  // namespace orvane::client::cli
