#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>

#include "input/input_sink.h"
#include "input/keyboard_map_x11.h"
#include "platform/x11/x11_display.h"

namespace orvane {

// The mouse and the keyboard of an X server, driven through XTest on the shared
// connection. Keys go by keysym: the virtual-key code's keysym is looked up in the
// server's keyboard mapping, read again whenever the server announces a new one.
class XTestInput {
 public:
  // nullptr when the server lacks XTest.
  static std::unique_ptr<XTestInput> Open(std::shared_ptr<X11Display> x11);

  void SendMouse(const MouseRecord& record);
  void SendKey(const KeyRecord& record);

 private:
  explicit XTestInput(std::shared_ptr<X11Display> x11);
  void FakeInput(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0);
  // The keycode for `virtual_key`; logs once for each code or keysym that has none.
  std::optional<uint8_t> Keycode(uint16_t virtual_key);

  std::shared_ptr<X11Display> x11_;
  std::shared_ptr<X11EventQueue> mapping_changes_;
  std::optional<KeyboardMap> keyboard_;
  std::set<uint16_t> logged_codes_;
  std::set<uint32_t> logged_keysyms_;
};

}  // namespace orvane
