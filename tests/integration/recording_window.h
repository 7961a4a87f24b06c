#pragma once

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "integration/pointer_position.h"

namespace orvane::testing {

// A window covering the whole test display that holds the keyboard focus and records the
// button and key events it receives, keys as the keysyms the server's mapping gives them.
class RecordingWindow {
 public:
  // `background` (0xRRGGBB) fills it when given; without, it has no background of its own.
  RecordingWindow(const std::string& display, uint16_t width, uint16_t height,
                  std::optional<uint32_t> background = std::nullopt) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    root_ = screen->root;
    window_ = xcb_generate_id(connection_);
    const uint32_t events = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                            XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    // Values in the order of their mask bits.
    std::vector<uint32_t> values;
    uint32_t mask = XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
    if (background) {
      mask |= XCB_CW_BACK_PIXEL;
      values.push_back(*background);
    }
    values.push_back(1);
    values.push_back(events);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, mask, values.data());
    xcb_map_window(connection_, window_);
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
    const uint8_t first = setup->min_keycode;
    auto* mapping = xcb_get_keyboard_mapping_reply(
        connection_,
        xcb_get_keyboard_mapping(connection_, first,
                                 static_cast<uint8_t>(setup->max_keycode - first + 1)),
        nullptr);
    first_keycode_ = first;
    per_keycode_ = mapping->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
    keysyms_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(mapping));
    std::free(mapping);
  }
  ~RecordingWindow() { xcb_disconnect(connection_); }

  // Takes the events that arrived so far.
  void Drain() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      const uint8_t type = event->response_type & 0x7F;
      if (type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE) {
        const auto* button = reinterpret_cast<xcb_button_press_event_t*>(event);
        buttons_.push_back((type == XCB_BUTTON_PRESS ? 1 : -1) * button->detail);
      } else if (type == XCB_KEY_PRESS) {
        const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        const size_t column = (key->state & XCB_MOD_MASK_SHIFT) != 0 ? 1 : 0;
        const uint32_t keysym = keysyms_[(key->detail - first_keycode_) * per_keycode_ + column];
        if (keysym != XK_Shift_L) {
          keysyms_pressed_.push_back(keysym);
        }
      }
      std::free(event);
    }
  }

  // Buttons pressed (positive) and released (negative), in order.
  const std::vector<int>& buttons() const { return buttons_; }
  const std::vector<uint32_t>& keysyms_pressed() const { return keysyms_pressed_; }

  std::pair<int16_t, int16_t> Pointer() { return PointerPosition(connection_, root_); }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
  xcb_window_t window_ = 0;
  uint8_t first_keycode_ = 0;
  uint8_t per_keycode_ = 0;
  std::vector<uint32_t> keysyms_;
  std::vector<int> buttons_;
  std::vector<uint32_t> keysyms_pressed_;
};

}  // namespace orvane::testing
