#pragma once

#include <optional>
#include <vector>

#include "client/cli/option_parser.h"
#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane::client::cli {

// The events --touch, --pen (with --barrel), --type and --keys ask for, in that order,
// with sequence numbers from 1; nullopt (after printing why) when an option is malformed
// or none is given.
std::optional<std::vector<orvane::protocol::v1::InputEvent>> EventsFor(
    const ParsedOptions& options);

}  // namespace orvane::client::cli
