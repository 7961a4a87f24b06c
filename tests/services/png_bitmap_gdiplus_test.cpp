#include "services/png_bitmap_gdiplus.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvane::testing {
namespace {

constexpr int kWidth = 3;
constexpr int kHeight = 2;

BITMAPINFO TopDownBgra() {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

std::vector<uint32_t> Pixels(HBITMAP bitmap) {
  BITMAPINFO info = TopDownBgra();
  std::vector<uint32_t> pixels(kWidth * kHeight);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, kHeight, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(rows, kHeight);
  for (uint32_t& pixel : pixels) {
    pixel &= 0x00FFFFFF;  // the alpha byte of a plain bitmap means nothing
  }
  return pixels;
}

TEST(PngBitmapGdiplusTest, ABitmapRoundTripsThroughPng) {
  const std::vector<uint32_t> pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x123456};
  BITMAPINFO info = TopDownBgra();
  void* bits = nullptr;
  HBITMAP original = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(original, nullptr);
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof(uint32_t));

  std::vector<uint8_t> png;
  ASSERT_TRUE(EncodeBitmapAsPng(original, png));
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(png.begin(), png.begin() + 8),
            (std::vector<uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));

  HBITMAP decoded = DecodePngAsBitmap(png);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(Pixels(decoded), pixels);
  DeleteObject(decoded);
  DeleteObject(original);
}

TEST(PngBitmapGdiplusTest, WhatIsNoPictureDoesNotDecode) {
  std::vector<uint8_t> png;
  EXPECT_FALSE(EncodeBitmapAsPng(nullptr, png));
  EXPECT_EQ(DecodePngAsBitmap({}), nullptr);
  EXPECT_EQ(DecodePngAsBitmap({'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}), nullptr);
}

}  // namespace
}  // namespace orvane::testing
