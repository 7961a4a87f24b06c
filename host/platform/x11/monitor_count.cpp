#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "platform/system_info.h"

namespace orvane {

// A short connection of its own: counting happens once at start-up, before any shared
// display exists.
std::optional<uint32_t> CountMonitors() {
  int screen_number = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return std::nullopt;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  std::optional<uint32_t> count;
  if (screens.rem > 0) {
    const auto cookie = xcb_randr_get_monitors(connection, screens.data->root, 1);
    if (auto* reply = xcb_randr_get_monitors_reply(connection, cookie, nullptr)) {
      count = static_cast<uint32_t>(reply->nMonitors);
      std::free(reply);
    }
  }
  xcb_disconnect(connection);
  return count;
}

}  // namespace orvane
