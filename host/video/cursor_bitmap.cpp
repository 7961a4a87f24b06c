#include "video/cursor_bitmap.h"

namespace orvane {
namespace {

bool MaskBit(const CursorBits& bits, uint32_t row, uint32_t x) {
  return (bits.mask[row * bits.mask_stride + x / 8] >> (7 - x % 8)) & 1;
}

uint8_t Premultiply(uint8_t value, uint8_t alpha) {
  return static_cast<uint8_t>((value * alpha + 127) / 255);
}

void Put(uint8_t* pixel, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  pixel[0] = b;
  pixel[1] = g;
  pixel[2] = r;
  pixel[3] = a;
}

bool HasAlpha(std::span<const uint8_t> colour) {
  for (size_t i = 3; i < colour.size(); i += 4) {
    if (colour[i] != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<uint8_t> CursorPixelsFromBits(const CursorBits& bits) {
  const size_t pixels = size_t{bits.width} * bits.height;
  const bool monochrome = bits.colour.empty();
  const size_t mask_rows = monochrome ? size_t{bits.height} * 2 : bits.height;
  if (pixels == 0 || bits.mask_stride * 8 < bits.width ||
      bits.mask.size() < mask_rows * bits.mask_stride ||
      (!monochrome && bits.colour.size() < pixels * 4)) {
    return {};
  }
  std::vector<uint8_t> out(pixels * 4);
  const bool alpha_channel = !monochrome && HasAlpha(bits.colour);
  for (uint32_t y = 0; y < bits.height; ++y) {
    for (uint32_t x = 0; x < bits.width; ++x) {
      const size_t index = size_t{y} * bits.width + x;
      uint8_t* pixel = &out[index * 4];
      if (alpha_channel) {
        const uint8_t* in = &bits.colour[index * 4];
        Put(pixel, Premultiply(in[0], in[3]), Premultiply(in[1], in[3]), Premultiply(in[2], in[3]),
            in[3]);
        continue;
      }
      const bool keep_screen = MaskBit(bits, y, x);
      bool xor_set;
      uint8_t b = 0xFF, g = 0xFF, r = 0xFF;
      if (monochrome) {
        xor_set = MaskBit(bits, bits.height + y, x);
      } else {
        const uint8_t* in = &bits.colour[index * 4];
        b = in[0];
        g = in[1];
        r = in[2];
        xor_set = (b | g | r) != 0;
      }
      if (!keep_screen) {
        // Replaces the screen: black, white or the colour.
        if (monochrome && !xor_set) {
          b = g = r = 0;
        }
        Put(pixel, b, g, r, 0xFF);
      } else if (xor_set) {
        Put(pixel, 0, 0, 0, 0xFF);  // would invert the screen
      } else {
        Put(pixel, 0, 0, 0, 0);
      }
    }
  }
  return out;
}

}  // namespace orvane
