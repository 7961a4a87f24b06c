#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace orvane::testing {

// Where the X server has the pointer on `root`, asked on the test's own connection.
inline std::pair<int16_t, int16_t> PointerPosition(xcb_connection_t* connection,
                                                   xcb_window_t root) {
  auto* reply = xcb_query_pointer_reply(connection, xcb_query_pointer(connection, root), nullptr);
  if (reply == nullptr) {
    return {-1, -1};
  }
  const std::pair<int16_t, int16_t> at{reply->root_x, reply->root_y};
  std::free(reply);
  return at;
}

}  // namespace orvane::testing
