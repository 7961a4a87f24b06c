#include "video/cursor_bitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace orvane {
namespace {

using Pixel = std::array<uint8_t, 4>;

Pixel At(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t x, uint32_t y) {
  const size_t i = (size_t{y} * width + x) * 4;
  return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
}

TEST(CursorBitmapTest, MonochromeCursorsFollowTheirAndAndXorMasks) {
  // One row of four pixels, masks padded to 4 bytes a row as DIBs are: AND 0011, XOR 0101.
  const std::vector<uint8_t> mask = {0b00110000, 0, 0, 0, 0b01010000, 0, 0, 0};
  const std::vector<uint8_t> pixels = CursorPixelsFromBits({4, 1, {}, mask, 4});
  ASSERT_EQ(pixels.size(), 16u);
  EXPECT_EQ(At(pixels, 4, 0, 0), (Pixel{0, 0, 0, 255}));        // AND 0 XOR 0: black
  EXPECT_EQ(At(pixels, 4, 1, 0), (Pixel{255, 255, 255, 255}));  // AND 0 XOR 1: white
  EXPECT_EQ(At(pixels, 4, 2, 0), (Pixel{0, 0, 0, 0}));          // AND 1 XOR 0: screen
  EXPECT_EQ(At(pixels, 4, 3, 0), (Pixel{0, 0, 0, 255}));        // AND 1 XOR 1: inverts
}

TEST(CursorBitmapTest, ColourWithoutAlphaTakesTransparencyFromTheAndMask) {
  // Three pixels: AND 0 red, AND 1 black (screen), AND 1 green (XOR onto the screen).
  const std::vector<uint8_t> colour = {0, 0, 200, 0, 0, 0, 0, 0, 0, 90, 0, 0};
  const std::vector<uint8_t> mask = {0b01100000, 0, 0, 0};
  const std::vector<uint8_t> pixels = CursorPixelsFromBits({3, 1, colour, mask, 4});
  ASSERT_EQ(pixels.size(), 12u);
  EXPECT_EQ(At(pixels, 3, 0, 0), (Pixel{0, 0, 200, 255}));
  EXPECT_EQ(At(pixels, 3, 1, 0), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(At(pixels, 3, 2, 0), (Pixel{0, 0, 0, 255}));
}

TEST(CursorBitmapTest, ColourWithAlphaIsPremultipliedAndIgnoresTheMask) {
  const std::vector<uint8_t> colour = {255, 100, 0, 128, 10, 20, 30, 255, 80, 80, 80, 0};
  const std::vector<uint8_t> mask = {0b11100000, 0, 0, 0};
  const std::vector<uint8_t> pixels = CursorPixelsFromBits({3, 1, colour, mask, 4});
  ASSERT_EQ(pixels.size(), 12u);
  EXPECT_EQ(At(pixels, 3, 0, 0), (Pixel{128, 50, 0, 128}));
  EXPECT_EQ(At(pixels, 3, 1, 0), (Pixel{10, 20, 30, 255}));
  EXPECT_EQ(At(pixels, 3, 2, 0), (Pixel{0, 0, 0, 0}));
}

TEST(CursorBitmapTest, RowsAreReadTopDownWithTheMaskStride) {
  // 2 × 2 monochrome: row 0 all black, row 1 all screen; the XOR half follows the AND half.
  const std::vector<uint8_t> mask = {0b00000000, 0, 0, 0, 0b11000000, 0, 0, 0,
                                     0b00000000, 0, 0, 0, 0b00000000, 0, 0, 0};
  const std::vector<uint8_t> pixels = CursorPixelsFromBits({2, 2, {}, mask, 4});
  ASSERT_EQ(pixels.size(), 16u);
  EXPECT_EQ(At(pixels, 2, 1, 0), (Pixel{0, 0, 0, 255}));
  EXPECT_EQ(At(pixels, 2, 0, 1), (Pixel{0, 0, 0, 0}));
}

TEST(CursorBitmapTest, BitsShorterThanTheSizeGiveNoImage) {
  const std::vector<uint8_t> mask(4, 0);
  const std::vector<uint8_t> colour(4 * 4, 0);
  EXPECT_TRUE(CursorPixelsFromBits({4, 1, {}, mask, 4}).empty());  // no XOR half
  EXPECT_TRUE(CursorPixelsFromBits({5, 1, colour, mask, 4}).empty());
  EXPECT_TRUE(CursorPixelsFromBits({40, 1, colour, mask, 4}).empty());  // stride too short
  EXPECT_TRUE(CursorPixelsFromBits({0, 0, colour, mask, 4}).empty());
}

}  // namespace
}  // namespace orvane
