#pragma once

#include <windows.h>

#include <dxgi1_2.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "video/damage_copy.h"

namespace orvane {

// What a held duplicated frame changed, in its output's desktop image: the destinations
// of its moves and its dirty rectangles. Nothing when the frame carries no metadata or it
// cannot be read; the caller then takes the whole image. `buffer` is reused between
// frames.
std::optional<std::vector<ScreenRect>> ReadFrameDamage(IDXGIOutputDuplication& duplication,
                                                       const DXGI_OUTDUPL_FRAME_INFO& info,
                                                       std::vector<uint8_t>& buffer);

}  // namespace orvane
