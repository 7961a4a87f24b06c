#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "client/session_keys.h"

namespace orvane::client {

// How a serialized ControlMessage travels to the host in one frame.
enum class FrameMode {
  kBare,                 // the message bytes alone
  kClearEnvelope,        // "ORV1" header with the encrypted bit clear, then the message
  kSealedPrimary,        // sealed with the primary session key
  kSealedCompatibility,  // sealed with the compatibility session key
};

// The frame payload for `message`. Envelopes carry `counter`; sealed ones use it in the
// nonce with the client-to-host control direction, so it must never repeat under a key.
// nullopt when the mode needs a key that is missing, or sealing fails.
std::optional<std::vector<uint8_t>> FrameControlPayload(std::span<const uint8_t> message,
                                                        FrameMode mode, const SessionKeys& keys,
                                                        uint64_t counter);

}  // namespace orvane::client
