#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace orvane {

// Which key of the X server's keyboard produces a keysym.
class KeyboardMap {
 public:
  // The server's current mapping; nullopt when it cannot be read.
  static std::optional<KeyboardMap> Fetch(xcb_connection_t* connection, const xcb_setup_t& setup);

  // `keysyms` holds `per_keycode` entries for each keycode from `first_keycode` on.
  KeyboardMap(uint8_t first_keycode, uint8_t per_keycode, const std::vector<uint32_t>& keysyms);

  // The keycode that gives `keysym` with the fewest modifiers; nullopt when no key does.
  std::optional<uint8_t> KeycodeFor(uint32_t keysym) const;

 private:
  std::unordered_map<uint32_t, uint8_t> keycodes_;
};

}  // namespace orvane
