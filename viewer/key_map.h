#pragma once

#include <SDL_scancode.h>

#include <cstdint>

namespace orvane::viewer {

// The Windows virtual-key code the host expects for a physical key of this keyboard, as
// a US keyboard names it: the host turns codes back into X keysyms (or sends them to
// Windows as they are), and applies the modifiers the viewer holds itself. Left and
// right modifiers keep their own codes. 0 for a key the host has no code for.
uint16_t VirtualKeyForScancode(SDL_Scancode scancode);

}  // namespace orvane::viewer
