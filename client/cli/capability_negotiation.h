#pragma once

#include <optional>

#include "client/cli/common_options.h"
#include "client/control_client.h"

namespace orvane::client::cli {

// Sends the exchange and prints the host's CapabilityAccept; nullopt, after printing why,
// when none comes.
std::optional<orvane::protocol::v1::CapabilityAccept> NegotiateCapabilities(
    ControlClient& client, const CommonOptions& common,
    const orvane::protocol::v1::CapabilityExchange& exchange);

}  // namespace orvane::client::cli
