#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace orvane {

// PNG file bytes of `bitmap`, encoded with GDI+; false on any failure.
bool EncodeBitmapAsPng(HBITMAP bitmap, std::vector<uint8_t>& out);

// The picture of a PNG file as a bitmap the caller owns, transparent pixels on opaque
// white; nullptr when it does not decode.
HBITMAP DecodePngAsBitmap(const std::vector<uint8_t>& png);

}  // namespace orvane
