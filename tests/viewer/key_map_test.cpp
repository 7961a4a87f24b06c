#include "viewer/key_map.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "input/keysym_table_x11.h"

namespace orvane::viewer {
namespace {

TEST(KeyMapTest, KeysGetTheirWindowsCodes) {
  const struct {
    SDL_Scancode scancode;
    uint16_t virtual_key;
  } cases[] = {
      {SDL_SCANCODE_A, 0x41},      {SDL_SCANCODE_Z, 0x5A},         {SDL_SCANCODE_1, 0x31},
      {SDL_SCANCODE_9, 0x39},      {SDL_SCANCODE_0, 0x30},         {SDL_SCANCODE_F1, 0x70},
      {SDL_SCANCODE_F12, 0x7B},    {SDL_SCANCODE_F13, 0x7C},       {SDL_SCANCODE_F24, 0x87},
      {SDL_SCANCODE_KP_0, 0x60},   {SDL_SCANCODE_KP_1, 0x61},      {SDL_SCANCODE_KP_9, 0x69},
      {SDL_SCANCODE_RETURN, 0x0D}, {SDL_SCANCODE_KP_ENTER, 0x0D},  {SDL_SCANCODE_LSHIFT, 0xA0},
      {SDL_SCANCODE_RALT, 0xA5},   {SDL_SCANCODE_SEMICOLON, 0xBA}, {SDL_SCANCODE_LEFT, 0x25},
      {SDL_SCANCODE_UP, 0x26},     {SDL_SCANCODE_LGUI, 0x5B},      {SDL_SCANCODE_UNKNOWN, 0},
      {SDL_SCANCODE_KP_EQUALS, 0},
  };
  for (const auto& one : cases) {
    EXPECT_EQ(VirtualKeyForScancode(one.scancode), one.virtual_key) << "scancode " << one.scancode;
  }
}

// The host turns each code back into a key: every code the viewer sends must be one it
// knows, and letters and digits must come back as the keys they started from.
TEST(KeyMapTest, TheHostTurnsEveryCodeBackIntoTheSameKey) {
  for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
    const uint16_t code = VirtualKeyForScancode(static_cast<SDL_Scancode>(scancode));
    if (code != 0) {
      EXPECT_NE(KeysymForVirtualKey(code), 0u) << "scancode " << scancode << " code " << code;
    }
  }
  for (int i = 0; i < 26; ++i) {
    EXPECT_EQ(KeysymForVirtualKey(VirtualKeyForScancode(SDL_Scancode(SDL_SCANCODE_A + i))),
              uint32_t{XK_a} + i);
  }
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(KeysymForVirtualKey(VirtualKeyForScancode(SDL_Scancode(SDL_SCANCODE_1 + i))),
              uint32_t{XK_1} + i);
  }
  EXPECT_EQ(KeysymForVirtualKey(VirtualKeyForScancode(SDL_SCANCODE_0)), uint32_t{XK_0});
}

}  // namespace
}  // namespace orvane::viewer
