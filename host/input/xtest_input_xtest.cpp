#include "input/xtest_input_xtest.h"

#include <xcb/xtest.h>

#include <cstdlib>

#include "base/logger.h"
#include "input/keysym_table_x11.h"

namespace orvane {
namespace {

constexpr uint8_t kLeftButton = 1;
constexpr uint8_t kRightButton = 3;

}  // namespace

std::unique_ptr<XTestInput> XTestInput::Open(std::shared_ptr<X11Display> x11) {
  xcb_connection_t* connection = x11->connection();
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_test_id);
  if (extension == nullptr || !extension->present) {
    return nullptr;
  }
  return std::unique_ptr<XTestInput>(new XTestInput(std::move(x11)));
}

XTestInput::XTestInput(std::shared_ptr<X11Display> x11) : x11_(std::move(x11)) {
  // Every client hears of a new keyboard mapping; no selection is needed.
  mapping_changes_ = x11_->Subscribe([](const xcb_generic_event_t& event) {
    return (event.response_type & 0x7F) == XCB_MAPPING_NOTIFY;
  });
}

void XTestInput::FakeInput(uint8_t type, uint8_t detail, int16_t x, int16_t y) {
  xcb_test_fake_input(x11_->connection(), type, detail, XCB_CURRENT_TIME,
                      type == XCB_MOTION_NOTIFY ? x11_->root() : XCB_NONE, x, y, 0);
}

void XTestInput::SendMouse(const MouseRecord& record) {
  if (record.move) {
    FakeInput(XCB_MOTION_NOTIFY, 0, static_cast<int16_t>(record.x), static_cast<int16_t>(record.y));
  }
  if ((record.buttons & mouse_button::kLeftDown) != 0) {
    FakeInput(XCB_BUTTON_PRESS, kLeftButton);
  }
  if ((record.buttons & mouse_button::kLeftUp) != 0) {
    FakeInput(XCB_BUTTON_RELEASE, kLeftButton);
  }
  if ((record.buttons & mouse_button::kRightDown) != 0) {
    FakeInput(XCB_BUTTON_PRESS, kRightButton);
  }
  if ((record.buttons & mouse_button::kRightUp) != 0) {
    FakeInput(XCB_BUTTON_RELEASE, kRightButton);
  }
  xcb_flush(x11_->connection());
}

void XTestInput::SendKey(const KeyRecord& record) {
  if (const std::optional<uint8_t> keycode = Keycode(record.virtual_key)) {
    FakeInput(record.up ? XCB_KEY_RELEASE : XCB_KEY_PRESS, *keycode);
    xcb_flush(x11_->connection());
  }
}

std::optional<uint8_t> XTestInput::Keycode(uint16_t virtual_key) {
  bool remapped = false;
  while (mapping_changes_->Take()) {
    remapped = true;
  }
  if (!keyboard_ || remapped) {
    keyboard_ = KeyboardMap::Fetch(x11_->connection(), *xcb_get_setup(x11_->connection()));
  }
  const uint32_t keysym = KeysymForVirtualKey(virtual_key);
  if (keysym == 0) {
    if (logged_codes_.insert(virtual_key).second) {
      LOG_WARN("[Input] Virtual key 0x%02X has no X keysym; key skipped", virtual_key);
    }
    return std::nullopt;
  }
  const std::optional<uint8_t> keycode = keyboard_ ? keyboard_->KeycodeFor(keysym) : std::nullopt;
  if (!keycode && logged_keysyms_.insert(keysym).second) {
    LOG_WARN("[Input] No key of the X keyboard gives keysym 0x%X (virtual key 0x%02X); key skipped",
             keysym, virtual_key);
  }
  return keycode;
}

}  // namespace orvane
