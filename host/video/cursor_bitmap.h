#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// The bits of a cursor as the system keeps them, read top row first: masks are one bit
// per pixel, most significant bit leftmost, each row `mask_stride` bytes.
struct CursorBits {
  uint32_t width = 0;
  uint32_t height = 0;
  // width × height B,G,R,X-or-A pixels; empty for a monochrome cursor.
  std::span<const uint8_t> colour;
  // The AND mask: 1 keeps the screen. A monochrome cursor's mask is 2 × height rows, the
  // XOR mask below the AND mask.
  std::span<const uint8_t> mask;
  size_t mask_stride = 0;
};

// The cursor as width × height alpha-premultiplied B,G,R,A pixels. A colour bitmap with
// an alpha channel gives its own transparency; without one, and for monochrome cursors,
// the AND mask does. Pixels that would invert the screen (AND 1 with a non-zero XOR
// colour) cannot be shown by a client that draws over the image, so they become opaque
// black. Empty when the bits are shorter than the size asks.
std::vector<uint8_t> CursorPixelsFromBits(const CursorBits& bits);

}  // namespace orvane
