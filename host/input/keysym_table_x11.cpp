#include "input/keysym_table_x11.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include <array>
#include <utility>

namespace orvane {
namespace {

struct KeyRange {
  uint16_t first_virtual_key;
  uint16_t last_virtual_key;
  uint32_t first_keysym;  // the rest follow in order
};

constexpr KeyRange kRanges[] = {
    {0x30, 0x39, XK_0},           // digits
    {0x41, 0x5A, XK_a},           // letters
    {0x60, 0x69, XK_KP_0},        // numeric pad digits
    {0x70, 0x87, XK_F1},          // F1..F24
    {0x21, 0x23, XK_Prior},       // Page Up, Page Down, End
    {0x25, 0x28, XK_Left},        // Left, Up, Right, Down
    {0x6A, 0x6F, XK_KP_Multiply}  // * + separator - . / of the numeric pad
};

constexpr std::pair<uint16_t, uint32_t> kSingles[] = {
    // Editing and control.
    {0x08, XK_BackSpace},
    {0x09, XK_Tab},
    {0x0C, XK_Clear},
    {0x0D, XK_Return},
    {0x13, XK_Pause},
    {0x14, XK_Caps_Lock},
    {0x1B, XK_Escape},
    {0x20, XK_space},
    {0x24, XK_Home},
    {0x29, XK_Select},
    {0x2A, XK_Print},
    {0x2B, XK_Execute},
    {0x2C, XK_Print},  // Print Screen
    {0x2D, XK_Insert},
    {0x2E, XK_Delete},
    {0x2F, XK_Help},
    {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock},
    // Modifiers; the generic codes stand for the left key.
    {0x10, XK_Shift_L},
    {0x11, XK_Control_L},
    {0x12, XK_Alt_L},
    {0xA0, XK_Shift_L},
    {0xA1, XK_Shift_R},
    {0xA2, XK_Control_L},
    {0xA3, XK_Control_R},
    {0xA4, XK_Alt_L},
    {0xA5, XK_Alt_R},
    {0x5B, XK_Super_L},
    {0x5C, XK_Super_R},
    {0x5D, XK_Menu},
    // Punctuation of a US layout.
    {0xBA, XK_semicolon},
    {0xBB, XK_equal},
    {0xBC, XK_comma},
    {0xBD, XK_minus},
    {0xBE, XK_period},
    {0xBF, XK_slash},
    {0xC0, XK_grave},
    {0xDB, XK_bracketleft},
    {0xDC, XK_backslash},
    {0xDD, XK_bracketright},
    {0xDE, XK_apostrophe},
    {0xE2, XK_less},  // the extra key beside left Shift on ISO keyboards
    // Browser, media and launch keys.
    {0x5F, XF86XK_Sleep},
    {0xA6, XF86XK_Back},
    {0xA7, XF86XK_Forward},
    {0xA8, XF86XK_Refresh},
    {0xA9, XF86XK_Stop},
    {0xAA, XF86XK_Search},
    {0xAB, XF86XK_Favorites},
    {0xAC, XF86XK_HomePage},
    {0xAD, XF86XK_AudioMute},
    {0xAE, XF86XK_AudioLowerVolume},
    {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext},
    {0xB1, XF86XK_AudioPrev},
    {0xB2, XF86XK_AudioStop},
    {0xB3, XF86XK_AudioPlay},
    {0xB4, XF86XK_Mail},
    {0xB5, XF86XK_AudioMedia},
    {0xB6, XF86XK_MyComputer},
    {0xB7, XF86XK_Calculator},
};

}  // namespace

uint32_t KeysymForVirtualKey(uint16_t virtual_key) {
  for (const KeyRange& range : kRanges) {
    if (virtual_key >= range.first_virtual_key && virtual_key <= range.last_virtual_key) {
      return range.first_keysym + (virtual_key - range.first_virtual_key);
    }
  }
  for (const auto& [code, keysym] : kSingles) {
    if (code == virtual_key) {
      return keysym;
    }
  }
  return 0;  // NoSymbol
}

}  // namespace orvane
