#include "viewer/key_map.h"

#include <utility>

namespace orvane::viewer {
namespace {

struct ScancodeRange {
  SDL_Scancode first;
  SDL_Scancode last;
  uint16_t first_virtual_key;  // the rest follow in order
};

constexpr ScancodeRange kRanges[] = {
    {SDL_SCANCODE_A, SDL_SCANCODE_Z, 0x41},       {SDL_SCANCODE_1, SDL_SCANCODE_9, 0x31},
    {SDL_SCANCODE_F1, SDL_SCANCODE_F12, 0x70},    {SDL_SCANCODE_F13, SDL_SCANCODE_F24, 0x7C},
    {SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_9, 0x61},
};

constexpr std::pair<SDL_Scancode, uint16_t> kSingles[] = {
    {SDL_SCANCODE_0, 0x30},
    // Editing and control.
    {SDL_SCANCODE_RETURN, 0x0D},
    {SDL_SCANCODE_ESCAPE, 0x1B},
    {SDL_SCANCODE_BACKSPACE, 0x08},
    {SDL_SCANCODE_TAB, 0x09},
    {SDL_SCANCODE_SPACE, 0x20},
    {SDL_SCANCODE_CAPSLOCK, 0x14},
    {SDL_SCANCODE_PRINTSCREEN, 0x2C},
    {SDL_SCANCODE_SCROLLLOCK, 0x91},
    {SDL_SCANCODE_PAUSE, 0x13},
    {SDL_SCANCODE_INSERT, 0x2D},
    {SDL_SCANCODE_HOME, 0x24},
    {SDL_SCANCODE_PAGEUP, 0x21},
    {SDL_SCANCODE_DELETE, 0x2E},
    {SDL_SCANCODE_END, 0x23},
    {SDL_SCANCODE_PAGEDOWN, 0x22},
    {SDL_SCANCODE_RIGHT, 0x27},
    {SDL_SCANCODE_LEFT, 0x25},
    {SDL_SCANCODE_DOWN, 0x28},
    {SDL_SCANCODE_UP, 0x26},
    {SDL_SCANCODE_APPLICATION, 0x5D},
    {SDL_SCANCODE_SELECT, 0x29},
    {SDL_SCANCODE_EXECUTE, 0x2B},
    {SDL_SCANCODE_HELP, 0x2F},
    // Punctuation where a US keyboard has it.
    {SDL_SCANCODE_MINUS, 0xBD},
    {SDL_SCANCODE_EQUALS, 0xBB},
    {SDL_SCANCODE_LEFTBRACKET, 0xDB},
    {SDL_SCANCODE_RIGHTBRACKET, 0xDD},
    {SDL_SCANCODE_BACKSLASH, 0xDC},
    {SDL_SCANCODE_NONUSHASH, 0xDC},
    {SDL_SCANCODE_SEMICOLON, 0xBA},
    {SDL_SCANCODE_APOSTROPHE, 0xDE},
    {SDL_SCANCODE_GRAVE, 0xC0},
    {SDL_SCANCODE_COMMA, 0xBC},
    {SDL_SCANCODE_PERIOD, 0xBE},
    {SDL_SCANCODE_SLASH, 0xBF},
    {SDL_SCANCODE_NONUSBACKSLASH, 0xE2},
    // Numeric pad; its Enter is the main one to Windows.
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x90},
    {SDL_SCANCODE_KP_DIVIDE, 0x6F},
    {SDL_SCANCODE_KP_MULTIPLY, 0x6A},
    {SDL_SCANCODE_KP_MINUS, 0x6D},
    {SDL_SCANCODE_KP_PLUS, 0x6B},
    {SDL_SCANCODE_KP_ENTER, 0x0D},
    {SDL_SCANCODE_KP_0, 0x60},
    {SDL_SCANCODE_KP_PERIOD, 0x6E},
    // Modifiers.
    {SDL_SCANCODE_LSHIFT, 0xA0},
    {SDL_SCANCODE_RSHIFT, 0xA1},
    {SDL_SCANCODE_LCTRL, 0xA2},
    {SDL_SCANCODE_RCTRL, 0xA3},
    {SDL_SCANCODE_LALT, 0xA4},
    {SDL_SCANCODE_RALT, 0xA5},
    {SDL_SCANCODE_LGUI, 0x5B},
    {SDL_SCANCODE_RGUI, 0x5C},
    // Browser, media and launch keys.
    {SDL_SCANCODE_SLEEP, 0x5F},
    {SDL_SCANCODE_AC_BACK, 0xA6},
    {SDL_SCANCODE_AC_FORWARD, 0xA7},
    {SDL_SCANCODE_AC_REFRESH, 0xA8},
    {SDL_SCANCODE_AC_STOP, 0xA9},
    {SDL_SCANCODE_AC_SEARCH, 0xAA},
    {SDL_SCANCODE_AC_BOOKMARKS, 0xAB},
    {SDL_SCANCODE_AC_HOME, 0xAC},
    {SDL_SCANCODE_MUTE, 0xAD},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
    {SDL_SCANCODE_VOLUMEUP, 0xAF},
    {SDL_SCANCODE_AUDIONEXT, 0xB0},
    {SDL_SCANCODE_AUDIOPREV, 0xB1},
    {SDL_SCANCODE_AUDIOSTOP, 0xB2},
    {SDL_SCANCODE_AUDIOPLAY, 0xB3},
    {SDL_SCANCODE_MAIL, 0xB4},
    {SDL_SCANCODE_MEDIASELECT, 0xB5},
    {SDL_SCANCODE_COMPUTER, 0xB6},
    {SDL_SCANCODE_CALCULATOR, 0xB7},
};

}  // namespace

uint16_t VirtualKeyForScancode(SDL_Scancode scancode) {
  for (const ScancodeRange& range : kRanges) {
    if (scancode >= range.first && scancode <= range.last) {
      return static_cast<uint16_t>(range.first_virtual_key + (scancode - range.first));
    }
  }
  for (const auto& [code, virtual_key] : kSingles) {
    if (code == scancode) {
      return virtual_key;
    }
  }
  return 0;
}

}  // namespace orvane::viewer
