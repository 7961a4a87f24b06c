#include "video/stream_pixel_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace orvane {
namespace {

TEST(StreamPixelFormatTest, EveryOfferedLayoutBecomesBgraWithOpaqueAlphaWhereItHasNone) {
  struct Case {
    StreamPixelFormat format;
    uint8_t bgra[4];  // of the source pixel bytes 10, 20, 30, 40
  };
  const Case cases[] = {
      {StreamPixelFormat::kBgrx, {10, 20, 30, 40}},  {StreamPixelFormat::kBgra, {10, 20, 30, 40}},
      {StreamPixelFormat::kRgbx, {30, 20, 10, 255}}, {StreamPixelFormat::kRgba, {30, 20, 10, 40}},
      {StreamPixelFormat::kXrgb, {40, 30, 20, 255}}, {StreamPixelFormat::kArgb, {40, 30, 20, 10}},
      {StreamPixelFormat::kXbgr, {20, 30, 40, 255}}, {StreamPixelFormat::kAbgr, {20, 30, 40, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<uint32_t>(c.format));
    EXPECT_EQ(StreamPixelFormatFromId(static_cast<uint32_t>(c.format)), c.format);
    const uint8_t source[4] = {10, 20, 30, 40};
    uint8_t out[4] = {};
    CopyStreamRectToBgra(c.format, source, 4, {0, 0, 1, 1}, out, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(c.bgra, c.bgra + 4));
  }
  EXPECT_FALSE(StreamPixelFormatFromId(0).has_value());
  EXPECT_FALSE(StreamPixelFormatFromId(2).has_value());  // a 24-bit layout is not offered
}

// The stream's rows may be padded; only the rectangle's pixels change in the kept image.
TEST(StreamPixelFormatTest, CopiesOnlyTheRectangleBetweenImagesOfDifferentPitch) {
  for (const StreamPixelFormat format : {StreamPixelFormat::kBgrx, StreamPixelFormat::kRgbx}) {
    SCOPED_TRACE(static_cast<uint32_t>(format));
    const uint32_t width = 5;
    const uint32_t height = 4;
    const size_t source_pitch = 32;  // 12 bytes of padding per row
    std::vector<uint8_t> source(source_pitch * height);
    for (size_t i = 0; i < source.size(); ++i) {
      source[i] = static_cast<uint8_t>(i);
    }
    std::vector<uint8_t> kept(size_t{width} * height * 4, 0xEE);
    const PixelRect rect{1, 2, 3, 2};
    CopyStreamRectToBgra(format, source.data(), source_pitch, rect, kept.data(), width * 4);
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = &kept[(size_t{y} * width + x) * 4];
        const bool inside =
            x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
        if (!inside) {
          EXPECT_EQ(pixel[0], 0xEE) << x << "," << y;
          continue;
        }
        const uint8_t* in = &source[y * source_pitch + x * 4];
        const bool swapped = format == StreamPixelFormat::kRgbx;
        EXPECT_EQ(pixel[0], swapped ? in[2] : in[0]) << x << "," << y;
        EXPECT_EQ(pixel[2], swapped ? in[0] : in[2]) << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace orvane
