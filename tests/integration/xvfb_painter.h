#pragma once

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace orvane::testing {

// A client of the test display that paints solid rectangles as override-redirect
// windows, whose background the server fills when they are mapped or cleared.
class XvfbPainter {
 public:
  explicit XvfbPainter(const std::string& display) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  }
  ~XvfbPainter() { xcb_disconnect(connection_); }

  bool connected() const { return xcb_connection_has_error(connection_) == 0; }

  xcb_window_t Fill(int16_t x, int16_t y, uint16_t width, uint16_t height, uint32_t rgb) {
    const xcb_window_t window = xcb_generate_id(connection_);
    const uint32_t values[] = {rgb, 1};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen_->root, x, y, width, height,
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection_, window);
    Sync();
    return window;
  }

  void Recolour(xcb_window_t window, uint32_t rgb) {
    xcb_change_window_attributes(connection_, window, XCB_CW_BACK_PIXEL, &rgb);
    xcb_clear_area(connection_, 0, window, 0, 0, 0, 0);
    Sync();
  }

  // Switches the first output to a new mode of width x height and shrinks the screen
  // to it, as a display settings change would. True when the server accepted it.
  bool ResizeScreen(uint16_t width, uint16_t height) {
    auto* resources = xcb_randr_get_screen_resources_current_reply(
        connection_, xcb_randr_get_screen_resources_current(connection_, screen_->root), nullptr);
    if (resources == nullptr || resources->num_crtcs == 0 || resources->num_outputs == 0) {
      std::free(resources);
      return false;
    }
    const xcb_randr_crtc_t crtc = xcb_randr_get_screen_resources_current_crtcs(resources)[0];
    xcb_randr_output_t output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
    const xcb_timestamp_t config_time = resources->config_timestamp;
    std::free(resources);

    const std::string name = std::to_string(width) + "x" + std::to_string(height);
    xcb_randr_mode_info_t mode_info{};
    mode_info.width = width;
    mode_info.height = height;
    mode_info.dot_clock = uint32_t{width} * height * 60;
    mode_info.htotal = width;
    mode_info.vtotal = height;
    mode_info.name_len = static_cast<uint16_t>(name.size());
    auto* mode = xcb_randr_create_mode_reply(
        connection_,
        xcb_randr_create_mode(connection_, screen_->root, mode_info,
                              static_cast<uint32_t>(name.size()), name.c_str()),
        nullptr);
    if (mode == nullptr) {
      return false;
    }
    const xcb_randr_mode_t mode_id = mode->mode;
    std::free(mode);
    xcb_randr_add_output_mode(connection_, output, mode_id);
    auto* crtc_set = xcb_randr_set_crtc_config_reply(
        connection_,
        xcb_randr_set_crtc_config(connection_, crtc, XCB_CURRENT_TIME, config_time, 0, 0, mode_id,
                                  XCB_RANDR_ROTATION_ROTATE_0, 1, &output),
        nullptr);
    const bool crtc_ok = crtc_set != nullptr && crtc_set->status == XCB_RANDR_SET_CONFIG_SUCCESS;
    std::free(crtc_set);
    if (!crtc_ok) {
      return false;
    }
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_randr_set_screen_size_checked(connection_, screen_->root, width, height,
                                                       width / 4, height / 4));
    std::free(error);
    Sync();
    return error == nullptr;
  }

 private:
  // Waits until the server has processed everything sent so far.
  void Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_connection_t* connection_;
  xcb_screen_t* screen_;
};

}  // namespace orvane::testing
