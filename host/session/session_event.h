#pragma once

#include <cstdint>
#include <variant>

#include "protocol/client_request.h"

namespace orvane {

// The transport's active client changed: one became active, left, or was replaced.
struct ActiveClientChanged {};

// One unit of work for the session's supervisor. A client's request carries the
// connection it came on, so that nothing a client asked for outlives its adoption.
struct SessionEvent {
  std::variant<ActiveClientChanged, ClientRequest> what;
  uint64_t connection_id = 0;
};

}  // namespace orvane
