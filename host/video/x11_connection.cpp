#include "video/x11_connection.h"

namespace orvane {

X11Connection::~X11Connection() {
  Close();
}

bool X11Connection::Open(const std::string& display_name) {
  Close();
  int screen_number = 0;
  xcb_connection_t* connection =
      xcb_connect(display_name.empty() ? nullptr : display_name.c_str(), &screen_number);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return false;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  if (screens.rem == 0) {
    xcb_disconnect(connection);
    return false;
  }
  connection_ = connection;
  screen_ = screens.data;
  return true;
}

void X11Connection::Close() {
  if (connection_ != nullptr) {
    xcb_disconnect(connection_);
  }
  connection_ = nullptr;
  screen_ = nullptr;
}

bool X11Connection::lost() const {
  return connection_ == nullptr || xcb_connection_has_error(connection_) != 0;
}

bool X11Connection::RootIsBgra32() const {
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
    return false;
  }
  bool four_bytes = false;
  for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
       xcb_format_next(&formats)) {
    if (formats.data->depth == screen_->root_depth) {
      four_bytes = formats.data->bits_per_pixel == 32;
    }
  }
  if (!four_bytes) {
    return false;
  }
  for (auto depths = xcb_screen_allowed_depths_iterator(screen_); depths.rem > 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t* visual = visuals.data;
      if (visual->visual_id == screen_->root_visual) {
        return visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
               visual->blue_mask == 0xFF;
      }
    }
  }
  return false;
}

}  // namespace orvane
