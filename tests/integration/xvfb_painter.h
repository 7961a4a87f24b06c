#pragma once

#include <sys/uio.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

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

  // Splits the screen into two RandR monitors side by side, the left one `left_width`
  // wide. RandR lists the monitors clients defined first, in the order defined, then the
  // output's own. The server forgets them when this painter disconnects. True when the
  // server took both.
  bool SplitIntoTwoMonitors(uint16_t left_width) {
    // Monitors came with RandR 1.5, which the server serves only to clients that say so.
    std::free(xcb_randr_query_version_reply(connection_, xcb_randr_query_version(connection_, 1, 5),
                                            nullptr));
    return DefineMonitor("LEFT", 0, left_width) &&
           DefineMonitor("RIGHT", static_cast<int16_t>(left_width),
                         static_cast<uint16_t>(screen_->width_in_pixels - left_width));
  }

 private:
  // RandR SetMonitor of a monitor without outputs, written out here: with the request
  // function libxcb generates, the connection was shut now and then as a request too long
  // (XCB_CONN_CLOSED_REQ_LEN_EXCEED).
  bool DefineMonitor(const std::string& name, int16_t x, uint16_t width) {
    auto* atom = xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    if (atom == nullptr) {
      return false;
    }
    struct SetMonitorRequest {
      uint8_t major_opcode;
      uint8_t minor_opcode;
      uint16_t length;
      xcb_window_t window;
      xcb_randr_monitor_info_t info;
    } request{};
    request.window = screen_->root;
    request.info.name = atom->atom;
    std::free(atom);
    request.info.x = x;
    request.info.width = width;
    request.info.height = screen_->height_in_pixels;
    request.info.width_in_millimeters = width / 4u;
    request.info.height_in_millimeters = screen_->height_in_pixels / 4u;
    // xcb_send_request writes the opcodes and the length, and may use the two parts
    // before the request.
    iovec parts[3] = {};
    parts[2].iov_base = &request;
    parts[2].iov_len = sizeof(request);
    const xcb_protocol_request_t protocol{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    const xcb_void_cookie_t cookie{
        xcb_send_request(connection_, XCB_REQUEST_CHECKED, parts + 2, &protocol)};
    xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
    std::free(error);
    return error == nullptr && xcb_connection_has_error(connection_) == 0;
  }

  // Waits until the server has processed everything sent so far.
  void Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_connection_t* connection_;
  xcb_screen_t* screen_;
};

}  // namespace orvane::testing
