#include "video/held_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace orvane {
namespace {

// A capturer's rows may be padded and its memory reused by the next capture: the held
// picture is the visible pixels as they were, packed.
TEST(HeldFrameTest, KeepsThePackedPixelsAfterTheSourceChanges) {
  constexpr uint32_t kWidth = 3;
  constexpr uint32_t kHeight = 2;
  constexpr uint32_t kPitch = 16;
  std::vector<uint8_t> source(kPitch * kHeight, 0xEE);
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth * 4; ++x) {
      source[y * kPitch + x] = static_cast<uint8_t>(y * 100 + x);
    }
  }
  CapturedFrame frame;
  frame.status = CaptureStatus::kFrameReady;
  frame.data = source.data();
  frame.row_pitch = kPitch;
  frame.width = kWidth;
  frame.height = kHeight;
  frame.data_size = source.size();

  HeldFrame held;
  EXPECT_TRUE(held.empty());
  held.Keep(frame);
  std::fill(source.begin(), source.end(), 0);

  const CapturedFrame view = held.View();
  EXPECT_FALSE(held.empty());
  EXPECT_EQ(view.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(view.width, kWidth);
  EXPECT_EQ(view.height, kHeight);
  EXPECT_EQ(view.row_pitch, kWidth * 4);
  ASSERT_EQ(view.data_size, size_t{kWidth} * 4 * kHeight);
  EXPECT_TRUE(FrameFitsMemory(view));
  EXPECT_EQ(view.nv12, nullptr);
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth * 4; ++x) {
      EXPECT_EQ(view.data[y * kWidth * 4 + x], y * 100 + x) << "row " << y << " byte " << x;
    }
  }
}

}  // namespace
}  // namespace orvane
