#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

// True when `png` is a PNG file that decodes to its last row.
bool PngDecodes(const std::vector<uint8_t>& png);

}  // namespace orvane
