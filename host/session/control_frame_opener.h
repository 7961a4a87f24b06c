#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/protocol_handler.h"

namespace orvane {

// Turns one received control frame into the payload to dispatch: bare and clear frames
// pass, sealed ones are opened with the handler's primary key or, once, with its
// compatibility key (which then becomes the primary). Undecryptable frames are dropped
// with rate-limited warnings, and every sixth failure asks the client to rekey.
class ControlFrameOpener {
 public:
  explicit ControlFrameOpener(ProtocolHandler& handler) : handler_(handler) {}

  std::optional<std::vector<uint8_t>> Open(std::span<const uint8_t> frame);

 private:
  bool ShouldWarn();

  ProtocolHandler& handler_;
  uint64_t dropped_before_key_ = 0;
  uint64_t decrypt_failures_ = 0;
  std::optional<uint64_t> last_warning_ns_;
};

}  // namespace orvane
