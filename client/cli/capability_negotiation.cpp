#include "client/cli/capability_negotiation.h"

#include <cstdio>

#include "client/cli/session_start.h"

namespace orvane::client::cli {

namespace v1 = orvane::protocol::v1;

std::optional<v1::CapabilityAccept> NegotiateCapabilities(ControlClient& client,
                                                          const CommonOptions& common,
                                                          const v1::CapabilityExchange& exchange) {
  v1::ControlMessage message;
  *message.mutable_capability_exchange() = exchange;
  if (!client.Send(std::move(message), FrameModeFor(common, client))) {
    std::fprintf(stderr, "Cannot send CapabilityExchange: %s\n", client.last_error().c_str());
    return std::nullopt;
  }
  const std::optional<v1::ControlMessage> accept =
      client.ReceiveUntil(v1::ControlMessage::kCapabilityAccept, common.timeout);
  if (!accept) {
    std::fprintf(stderr, "No CapabilityAccept: %s\n", client.last_error().c_str());
    return std::nullopt;
  }
  PrintReceived(*accept);
  return accept->capability_accept();
}

}  // namespace orvane::client::cli
