#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane::client {

// The InputEvents a mobile client sends for common gestures, numbered from
// `first_sequence` on. Positions are fractions of the screen, 0 to 1.

// One finger: down, a move on the spot, up.
std::vector<orvane::protocol::v1::InputEvent> TapEvents(float x, float y, uint32_t first_sequence);

// A pen stroke on the spot: hover enter, down, move, up, hover exit; with `barrel` the
// barrel button is held from the down to the move.
std::vector<orvane::protocol::v1::InputEvent> PenStrokeEvents(float x, float y, bool barrel,
                                                              uint32_t first_sequence);

// Down and up of each Windows virtual-key code in turn.
std::vector<orvane::protocol::v1::InputEvent> KeyPressEvents(const std::vector<uint32_t>& codes,
                                                             uint32_t first_sequence);

// The key events a US keyboard sends to type `text`: Shift around capitals and shifted
// punctuation, Enter for '\n'. nullopt when a character has no key.
std::optional<std::vector<orvane::protocol::v1::InputEvent>> TypingEvents(std::string_view text,
                                                                          uint32_t first_sequence);

}  // namespace orvane::client
