#pragma once

#include <optional>
#include <span>
#include <string>

#include "client/cli/option_parser.h"
#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane::client::cli {

// --codec, --fps, --width, --height, --audio, --no-touch.
std::span<const OptionSpec> CapabilityOptionSpecs();

// The CapabilityExchange those options describe; nullopt, with `error` set, when a value
// is malformed.
std::optional<orvane::protocol::v1::CapabilityExchange> BuildCapabilityExchange(
    const ParsedOptions& options, std::string& error);

}  // namespace orvane::client::cli
