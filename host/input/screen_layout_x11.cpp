#include "input/screen_layout_x11.h"

#include <xcb/randr.h>

#include <cstdlib>

namespace orvane {

X11ScreenLayout::X11ScreenLayout(std::shared_ptr<X11Display> x11) : x11_(std::move(x11)) {
  xcb_connection_t* connection = x11_->connection();
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
  if (randr == nullptr || !randr->present) {
    return;
  }
  auto* version =
      xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr);
  // Monitors came with RandR 1.5.
  randr_ = version != nullptr && (version->major_version > 1 || version->minor_version >= 5);
  std::free(version);
  const auto screen_change =
      static_cast<uint8_t>(randr->first_event + XCB_RANDR_SCREEN_CHANGE_NOTIFY);
  const auto notify = static_cast<uint8_t>(randr->first_event + XCB_RANDR_NOTIFY);
  layout_changes_ = x11_->Subscribe([screen_change, notify](const xcb_generic_event_t& event) {
    const uint8_t type = event.response_type & 0x7F;
    return type == screen_change || type == notify;
  });
  // The mask the capturer selects on the shared connection too: a selection replaces the
  // connection's earlier one, so every user asks for the same.
  xcb_randr_select_input(connection, x11_->root(),
                         XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                             XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
  xcb_flush(connection);
}

std::optional<ScreenLayout> X11ScreenLayout::Current() {
  bool changed = layout_changes_ == nullptr || !current_;
  if (layout_changes_ != nullptr) {
    while (layout_changes_->Take()) {
      changed = true;
    }
  }
  if (changed) {
    if (std::optional<ScreenLayout> read = Read()) {
      current_ = std::move(read);
    }
  }
  return current_;
}

std::optional<ScreenLayout> X11ScreenLayout::Read() {
  xcb_connection_t* connection = x11_->connection();
  const auto geometry_cookie = xcb_get_geometry(connection, x11_->root());
  std::optional<xcb_randr_get_monitors_cookie_t> monitors_cookie;
  if (randr_) {
    monitors_cookie = xcb_randr_get_monitors(connection, x11_->root(), 1);
  }
  auto* geometry = xcb_get_geometry_reply(connection, geometry_cookie, nullptr);
  auto* monitors = monitors_cookie
                       ? xcb_randr_get_monitors_reply(connection, *monitors_cookie, nullptr)
                       : nullptr;
  std::optional<ScreenLayout> layout;
  if (geometry != nullptr) {
    layout = ScreenLayout{{0, 0, geometry->width, geometry->height}, {}};
    if (monitors != nullptr) {
      for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors); it.rem > 0;
           xcb_randr_monitor_info_next(&it)) {
        layout->monitors.push_back({it.data->x, it.data->y, it.data->width, it.data->height});
      }
    }
  }
  std::free(geometry);
  std::free(monitors);
  return layout;
}

}  // namespace orvane
