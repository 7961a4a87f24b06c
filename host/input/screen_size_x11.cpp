#include "input/screen_size_x11.h"

#include <xcb/randr.h>

#include <cstdlib>

namespace orvane {

X11ScreenSize::X11ScreenSize(std::shared_ptr<X11Display> x11) : x11_(std::move(x11)) {
  xcb_connection_t* connection = x11_->connection();
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
  if (randr == nullptr || !randr->present) {
    return;
  }
  std::free(xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5),
                                          nullptr));
  const auto screen_change =
      static_cast<uint8_t>(randr->first_event + XCB_RANDR_SCREEN_CHANGE_NOTIFY);
  screen_changes_ = x11_->Subscribe([screen_change](const xcb_generic_event_t& event) {
    return (event.response_type & 0x7F) == screen_change;
  });
  // The mask the capturer selects on the shared connection too: a selection replaces the
  // connection's earlier one, so every user asks for the same.
  xcb_randr_select_input(connection, x11_->root(),
                         XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                             XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
  xcb_flush(connection);
}

std::optional<DesktopRect> X11ScreenSize::Current() {
  bool changed = screen_changes_ == nullptr || !current_;
  if (screen_changes_ != nullptr) {
    while (screen_changes_->Take()) {
      changed = true;
    }
  }
  if (changed) {
    if (const std::optional<DesktopRect> read = Read()) {
      current_ = read;
    }
  }
  return current_;
}

std::optional<DesktopRect> X11ScreenSize::Read() {
  xcb_connection_t* connection = x11_->connection();
  auto* geometry =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, x11_->root()), nullptr);
  if (geometry == nullptr) {
    return std::nullopt;
  }
  const DesktopRect desktop{0, 0, geometry->width, geometry->height};
  std::free(geometry);
  return desktop;
}

}  // namespace orvane
