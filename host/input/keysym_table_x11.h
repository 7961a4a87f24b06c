#pragma once

#include <cstdint>

namespace orvane {

// The X keysym a Windows virtual-key code stands for on a US keyboard: the unshifted
// symbol of the key, since X applies the modifiers the client holds. 0 (NoSymbol) for a
// code that has no X counterpart.
uint32_t KeysymForVirtualKey(uint16_t virtual_key);

}  // namespace orvane
