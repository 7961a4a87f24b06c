#include "video/damage_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "video/encoder_input.h"

namespace orvane {
namespace {

std::vector<uint8_t> RandomBytes(size_t size, std::mt19937& random) {
  std::vector<uint8_t> bytes(size);
  std::uniform_int_distribution<int> byte(0, 255);
  std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<uint8_t>(byte(random)); });
  return bytes;
}

std::vector<uint8_t> FullNv12(const std::vector<uint8_t>& bgra, uint32_t width, uint32_t height) {
  std::vector<uint8_t> nv12(Nv12FrameSize(width, height));
  EXPECT_TRUE(ConvertBgraToNv12(bgra.data(), size_t{width} * 4, width, height,
                                {nv12.data(), width, nv12.data() + size_t{width} * height, width}));
  return nv12;
}

// The rectangle of a whole frame, packed, as the display server hands it over.
std::vector<uint8_t> Packed(const std::vector<uint8_t>& frame, uint32_t width, PixelRect rect) {
  std::vector<uint8_t> pixels;
  for (uint32_t row = 0; row < rect.height; ++row) {
    const auto start = frame.begin() + ((rect.y + row) * size_t{width} + rect.x) * 4;
    pixels.insert(pixels.end(), start, start + size_t{rect.width} * 4);
  }
  return pixels;
}

// The capturer's update of one frame: the planned rectangles of the new picture copied
// into the kept one and only those converted into the kept NV12 image.
TEST(DamageCopyTest, UpdatingTheDamagedRectanglesGivesTheNv12OfAFullConversion) {
  struct Case {
    const char* name;
    uint32_t width, height;
    std::vector<ScreenRect> damage;  // monitor at (100, 50)
    bool whole;
  };
  std::vector<ScreenRect> small_rects;
  std::mt19937 placement(99);
  for (int i = 0; i < 20; ++i) {
    small_rects.push_back({100 + static_cast<int32_t>(placement() % 180),
                           50 + static_cast<int32_t>(placement() % 110),
                           1 + static_cast<uint32_t>(placement() % 9),
                           1 + static_cast<uint32_t>(placement() % 7)});
  }
  std::vector<ScreenRect> too_many_rects;
  for (int i = 0; i < 40; ++i) {
    too_many_rects.push_back({100 + 3 * i, 50 + 2 * i, 2, 1});
  }
  const Case cases[] = {
      {"one pixel at odd coordinates", 193, 121, {{100 + 37, 50 + 11, 1, 1}}, false},
      {"odd rectangle at the bottom right edge", 193, 121, {{100 + 151, 50 + 90, 60, 40}}, false},
      {"rectangle reaching past the top left", 194, 120, {{80, 20, 41, 45}}, false},
      {"whole screen", 193, 121, {{100, 50, 193, 121}}, true},
      {"many small rectangles", 290, 170, small_rects, false},
      {"too many rectangles become their bounding box", 290, 170, too_many_rects, false},
      {"half the screen copies it whole", 200, 100, {{100, 50, 100, 100}}, true},
      {"outside the monitor", 64, 64, {{0, 0, 100, 50}}, false},
  };
  std::mt19937 random(2024);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t pitch = size_t{c.width} * 4;
    std::vector<uint8_t> kept = RandomBytes(pitch * c.height, random);
    const std::vector<uint8_t> next = RandomBytes(pitch * c.height, random);
    std::vector<uint8_t> nv12 = FullNv12(kept, c.width, c.height);
    const DamageCopyPlan plan = PlanDamageCopy(c.damage, 100, 50, c.width, c.height);
    EXPECT_EQ(plan.whole, c.whole);
    EXPECT_LE(plan.rects.size(), kMaxDamageRects);

    const std::vector<uint8_t> old = kept;
    std::vector<bool> damaged(size_t{c.width} * c.height);
    for (const ScreenRect& rect : c.damage) {
      for (int64_t y = std::max(rect.y, 50);
           y < std::min<int64_t>(rect.y + rect.height, 50 + c.height); ++y) {
        for (int64_t x = std::max(rect.x, 100);
             x < std::min<int64_t>(rect.x + rect.width, 100 + c.width); ++x) {
          damaged[(y - 50) * c.width + (x - 100)] = true;
        }
      }
    }
    for (const PixelRect& rect : plan.rects) {
      CopyBgraRect(Packed(next, c.width, rect).data(), rect, kept.data(), pitch);
      ASSERT_TRUE(ConvertBgraRectToNv12(
          kept.data(), pitch, c.width, c.height, rect,
          {nv12.data(), c.width, nv12.data() + size_t{c.width} * c.height, c.width}));
    }
    // Every damaged pixel is new; copying a bounding box or the whole monitor may bring
    // more of the new picture, never anything else.
    for (size_t at = 0; at < kept.size(); ++at) {
      const bool is_new = kept[at] == next[at];
      ASSERT_TRUE(is_new || (!damaged[at / 4] && kept[at] == old[at])) << "byte " << at;
    }
    EXPECT_EQ(nv12, FullNv12(kept, c.width, c.height));
  }
}

}  // namespace
}  // namespace orvane
