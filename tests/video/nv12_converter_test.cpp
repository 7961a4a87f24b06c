#include "video/nv12_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "video/nv12_colour.h"

namespace orvane {
namespace {

constexpr uint8_t kSentinel = 0xC3;

struct BgraImage {
  uint32_t width = 0;
  uint32_t height = 0;
  size_t pitch = 0;
  std::vector<uint8_t> bytes;

  uint8_t* Pixel(uint32_t x, uint32_t y) { return bytes.data() + y * pitch + x * 4; }
};

// Row padding is filled with random bytes too: a converter that reads it would differ
// from the reference, which never looks there.
BgraImage RandomImage(uint32_t width, uint32_t height, size_t padding, std::mt19937& random) {
  BgraImage image{width, height, width * 4 + padding, {}};
  image.bytes.resize(image.pitch * height);
  std::uniform_int_distribution<int> byte(0, 255);
  for (uint8_t& value : image.bytes) {
    value = static_cast<uint8_t>(byte(random));
  }
  return image;
}

BgraImage SolidImage(uint32_t width, uint32_t height, uint8_t b, uint8_t g, uint8_t r) {
  BgraImage image{width, height, width * 4, std::vector<uint8_t>(size_t{width} * height * 4)};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* pixel = image.Pixel(x, y);
      pixel[0] = b;
      pixel[1] = g;
      pixel[2] = r;
      pixel[3] = static_cast<uint8_t>(x * 37 + y);  // never read
    }
  }
  return image;
}

// The formula as written, pixel by pixel in raster order, into a packed buffer of
// stride width. Writes that would land past the UV plane's height / 2 rows are dropped.
std::vector<uint8_t> ReferenceNv12(BgraImage& image) {
  const size_t w = image.width;
  const size_t h = image.height;
  std::vector<uint8_t> out(w * h + w * (h / 2));
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      const uint8_t* p = image.Pixel(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
      const int b = p[0];
      const int g = p[1];
      const int r = p[2];
      out[y * w + x] =
          static_cast<uint8_t>(std::min(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16, 255));
      if (x % 2 == 0 && y % 2 == 0) {
        const int u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
        const int v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
        const size_t at = w * h + (y / 2) * w + x;
        if (at < out.size()) {
          out[at] = static_cast<uint8_t>(std::clamp(u, 0, 255));
        }
        if (at + 1 < out.size()) {
          out[at + 1] = static_cast<uint8_t>(std::clamp(v, 0, 255));
        }
      }
    }
  }
  return out;
}

// Planes with row padding and guard rows, all pre-filled with a sentinel, so that stray
// writes show up beside wrong values.
struct PaddedNv12 {
  PaddedNv12(uint32_t width, uint32_t height, size_t padding)
      : width(width),
        height(height),
        pitch(width + padding),
        y(pitch * (height + 1), kSentinel),
        uv(pitch * (height / 2 + 1), kSentinel) {}

  Nv12Planes Planes() { return {y.data(), pitch, uv.data(), pitch}; }

  // The first difference from the packed reference, or empty when equal and every
  // byte outside the planes still holds the sentinel.
  std::string Mismatch(const std::vector<uint8_t>& expected) const {
    const size_t uv_offset = size_t{width} * height;
    for (size_t row = 0; row <= height; ++row) {
      for (size_t col = 0; col < pitch; ++col) {
        const bool inside = row < height && col < width;
        const uint8_t want = inside ? expected[row * width + col] : kSentinel;
        if (y[row * pitch + col] != want) {
          return "Y row " + std::to_string(row) + " col " + std::to_string(col);
        }
      }
    }
    for (size_t row = 0; row <= height / 2; ++row) {
      for (size_t col = 0; col < pitch; ++col) {
        const bool inside = row < height / 2 && col < width;
        const uint8_t want = inside ? expected[uv_offset + row * width + col] : kSentinel;
        if (uv[row * pitch + col] != want) {
          return "UV row " + std::to_string(row) + " col " + std::to_string(col);
        }
      }
    }
    return "";
  }

  uint32_t width;
  uint32_t height;
  size_t pitch;
  std::vector<uint8_t> y;
  std::vector<uint8_t> uv;
};

TEST(Nv12ConverterTest, SolidColoursGiveHandComputedValues) {
  // Red's U (-9562 >> 8 = -38) and green's V (-23842 >> 8 = -94) need the arithmetic
  // shift: truncating division would give one more.
  struct Case {
    const char* name;
    uint8_t b, g, r;
    uint8_t y, u, v;
  };
  const Case cases[] = {
      {"white", 255, 255, 255, 235, 128, 128}, {"black", 0, 0, 0, 16, 128, 128},
      {"red", 0, 0, 255, 82, 90, 240},         {"green", 0, 255, 0, 144, 54, 34},
      {"blue", 255, 0, 0, 41, 240, 110},       {"grey 128", 128, 128, 128, 126, 128, 128},
  };
  // 37 columns: two full vector steps and an odd scalar tail.
  constexpr uint32_t kWidth = 37;
  constexpr uint32_t kHeight = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BgraImage image = SolidImage(kWidth, kHeight, c.b, c.g, c.r);
    // Even columns hold U, odd ones V; on this odd width the last byte of each UV row
    // is the last column's U.
    std::vector<uint8_t> expected(kWidth * kHeight, c.y);
    for (uint32_t i = 0; i < kWidth * (kHeight / 2); ++i) {
      expected.push_back(i % kWidth % 2 == 0 ? c.u : c.v);
    }
    PaddedNv12 out(kWidth, kHeight, 0);
    ASSERT_TRUE(ConvertBgraToNv12(image.bytes.data(), image.pitch, kWidth, kHeight, out.Planes()));
    EXPECT_EQ(out.Mismatch(expected), "");
  }
}

// What the encoders declare must be what the converter makes: Y, U and V computed in
// floating point from the declared matrix and range meet the integer formula within its
// rounding. Declaring BT.709 or full range would miss by tens of steps.
TEST(Nv12ConverterTest, ConvertsAsTheDeclaredColourSays) {
  ASSERT_TRUE(kNv12Colour.matrix == 1 || kNv12Colour.matrix == 5 || kNv12Colour.matrix == 6)
      << "no coefficients here for matrix " << int{kNv12Colour.matrix};
  const double kr = kNv12Colour.matrix == 1 ? 0.2126 : 0.299;
  const double kb = kNv12Colour.matrix == 1 ? 0.0722 : 0.114;
  const double luma_scale = kNv12Colour.full_range ? 255 : 219;
  const double luma_offset = kNv12Colour.full_range ? 0 : 16;
  const double chroma_scale = kNv12Colour.full_range ? 255 : 224;
  struct Colour {
    uint8_t b, g, r;
  };
  const Colour colours[] = {{255, 255, 255}, {0, 0, 0},     {0, 0, 255},    {0, 255, 0},
                            {255, 0, 0},     {255, 255, 0}, {0, 255, 255},  {255, 0, 255},
                            {40, 160, 220},  {200, 90, 30}, {128, 128, 128}};
  for (const Colour& colour : colours) {
    SCOPED_TRACE(::testing::Message()
                 << "B " << int{colour.b} << " G " << int{colour.g} << " R " << int{colour.r});
    const double r = colour.r / 255.0;
    const double g = colour.g / 255.0;
    const double b = colour.b / 255.0;
    const double luma = kr * r + (1 - kr - kb) * g + kb * b;
    const double expected_y = luma_offset + luma_scale * luma;
    const double expected_u = 128 + chroma_scale * (b - luma) / (2 * (1 - kb));
    const double expected_v = 128 + chroma_scale * (r - luma) / (2 * (1 - kr));
    BgraImage image = SolidImage(2, 2, colour.b, colour.g, colour.r);
    PaddedNv12 out(2, 2, 0);
    ASSERT_TRUE(ConvertBgraToNv12(image.bytes.data(), image.pitch, 2, 2, out.Planes()));
    EXPECT_NEAR(out.y[0], expected_y, 1.5);
    EXPECT_NEAR(out.uv[0], expected_u, 1.5);
    EXPECT_NEAR(out.uv[1], expected_v, 1.5);
  }
}

TEST(Nv12ConverterTest, ChromaIsTheTopLeftPixelOfEachBlock) {
  // Red at even x and y, white elsewhere: an average would pull chroma towards 128.
  constexpr uint32_t kWidth = 20;
  constexpr uint32_t kHeight = 2;
  BgraImage image = SolidImage(kWidth, kHeight, 255, 255, 255);
  for (uint32_t x = 0; x < kWidth; x += 2) {
    image.Pixel(x, 0)[0] = 0;
    image.Pixel(x, 0)[1] = 0;
  }
  PaddedNv12 out(kWidth, kHeight, 0);
  ASSERT_TRUE(ConvertBgraToNv12(image.bytes.data(), image.pitch, kWidth, kHeight, out.Planes()));
  for (uint32_t x = 0; x < kWidth; x += 2) {
    EXPECT_EQ(out.uv[x], 90) << x;
    EXPECT_EQ(out.uv[x + 1], 240) << x;
    EXPECT_EQ(out.y[x], 82) << x;
    EXPECT_EQ(out.y[x + 1], 235) << x;
  }
}

TEST(Nv12ConverterTest, EveryKernelMatchesTheFormulaOnRandomImages) {
  struct Case {
    uint32_t width, height;
    size_t source_padding, destination_padding;
  };
  // Widths around the 16- and 32-pixel steps, odd and even sizes, tight and padded pitches.
  const Case cases[] = {
      {1, 1, 0, 0},    {1, 2, 3, 1},     {2, 1, 0, 0},          {3, 3, 4, 2},   {3, 2, 0, 0},
      {15, 5, 13, 3},  {16, 2, 0, 0},    {17, 3, 8, 5},         {31, 7, 64, 1}, {32, 6, 0, 16},
      {33, 9, 4, 7},   {47, 4, 0, 0},    {63, 3, 4, 0},         {64, 2, 0, 0},  {65, 5, 12, 3},
      {127, 5, 12, 0}, {640, 361, 0, 0}, {1920, 1080, 256, 64},
  };
  for (const Nv12Kernel kernel : {Nv12Kernel::kSse2, Nv12Kernel::kAvx2}) {
    if (!Nv12KernelAvailable(kernel)) {
      GTEST_SKIP() << "this processor has no AVX2; only the SSE2 kernel was checked";
    }
    std::mt19937 random(20240607);
    for (const Case& c : cases) {
      SCOPED_TRACE("kernel " + std::to_string(static_cast<int>(kernel)) + " " +
                   std::to_string(c.width) + "x" + std::to_string(c.height) + " padding " +
                   std::to_string(c.source_padding) + "/" + std::to_string(c.destination_padding));
      BgraImage image = RandomImage(c.width, c.height, c.source_padding, random);
      PaddedNv12 out(c.width, c.height, c.destination_padding);
      ASSERT_TRUE(ConvertBgraToNv12(kernel, image.bytes.data(), image.pitch, c.width, c.height,
                                    out.Planes()));
      EXPECT_EQ(out.Mismatch(ReferenceNv12(image)), "");
    }
  }
}

TEST(Nv12ConverterTest, RefusesShortPitchesAndMissingPlanesWithoutWriting) {
  constexpr uint32_t kWidth = 8;
  constexpr uint32_t kHeight = 4;
  BgraImage image = SolidImage(kWidth, kHeight, 1, 2, 3);
  struct Case {
    const char* name;
    bool source;
    size_t source_pitch;
    bool y_plane;
    size_t y_pitch;
    bool uv_plane;
    size_t uv_pitch;
  };
  const Case cases[] = {
      {"short source pitch", true, kWidth * 4 - 1, true, kWidth, true, kWidth},
      {"short Y pitch", true, kWidth * 4, true, kWidth - 1, true, kWidth},
      {"short UV pitch", true, kWidth * 4, true, kWidth, true, kWidth - 1},
      {"no source", false, kWidth * 4, true, kWidth, true, kWidth},
      {"no Y plane", true, kWidth * 4, false, kWidth, true, kWidth},
      {"no UV plane", true, kWidth * 4, true, kWidth, false, kWidth},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaddedNv12 out(kWidth, kHeight, 0);
    const Nv12Planes planes{c.y_plane ? out.y.data() : nullptr, c.y_pitch,
                            c.uv_plane ? out.uv.data() : nullptr, c.uv_pitch};
    EXPECT_FALSE(ConvertBgraToNv12(c.source ? image.bytes.data() : nullptr, c.source_pitch, kWidth,
                                   kHeight, planes));
    EXPECT_TRUE(std::all_of(out.y.begin(), out.y.end(), [](uint8_t b) { return b == kSentinel; }));
    EXPECT_TRUE(
        std::all_of(out.uv.begin(), out.uv.end(), [](uint8_t b) { return b == kSentinel; }));
  }
}

TEST(Nv12ConverterTest, SingleRowNeedsNoUvPlane) {
  BgraImage image = SolidImage(5, 1, 0, 0, 0);
  std::vector<uint8_t> y(5, kSentinel);
  ASSERT_TRUE(ConvertBgraToNv12(image.bytes.data(), image.pitch, 5, 1, {y.data(), 5, nullptr, 0}));
  EXPECT_EQ(y, std::vector<uint8_t>(5, 16));
}

}  // namespace
}  // namespace orvane
