#include "input/keyboard_map_x11.h"

#include <cstdlib>
#include <memory>

namespace orvane {

std::optional<KeyboardMap> KeyboardMap::Fetch(xcb_connection_t* connection,
                                              const xcb_setup_t& setup) {
  const uint8_t first = setup.min_keycode;
  const auto count = static_cast<uint8_t>(setup.max_keycode - setup.min_keycode + 1);
  std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> reply(
      xcb_get_keyboard_mapping_reply(connection, xcb_get_keyboard_mapping(connection, first, count),
                                     nullptr),
      &std::free);
  if (!reply) {
    return std::nullopt;
  }
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
  const int length = xcb_get_keyboard_mapping_keysyms_length(reply.get());
  return KeyboardMap(first, reply->keysyms_per_keycode,
                     std::vector<uint32_t>(keysyms, keysyms + length));
}

KeyboardMap::KeyboardMap(uint8_t first_keycode, uint8_t per_keycode,
                         const std::vector<uint32_t>& keysyms) {
  if (per_keycode == 0) {
    return;
  }
  const size_t keycodes = keysyms.size() / per_keycode;
  // Column by column, so the unshifted symbol of a key wins over a shifted one elsewhere.
  for (size_t column = 0; column < per_keycode; ++column) {
    for (size_t index = 0; index < keycodes; ++index) {
      const uint32_t keysym = keysyms[index * per_keycode + column];
      const size_t keycode = first_keycode + index;
      if (keysym != 0 && keycode <= 255) {
        keycodes_.try_emplace(keysym, static_cast<uint8_t>(keycode));
      }
    }
  }
}

std::optional<uint8_t> KeyboardMap::KeycodeFor(uint32_t keysym) const {
  const auto found = keycodes_.find(keysym);
  if (found == keycodes_.end()) {
    return std::nullopt;
  }
  return found->second;
}

}  // namespace orvane
