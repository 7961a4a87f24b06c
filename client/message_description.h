#pragma once

#include <string>

#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane::client {

// One line: the payload's name, the sequence id and the payload's fields, e.g.
// `HelloAck seq=1 result=OK host_id="h" host_name="desk" host_key=64B/1A2B3C4D`. Text is
// quoted with control bytes escaped, enum values lose their common prefix, byte fields
// show their length and fingerprint.
std::string Describe(const orvane::protocol::v1::ControlMessage& message);

}  // namespace orvane::client
