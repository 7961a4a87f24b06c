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
  const int capturer = 0;
  const int other_capturer = 0;
  EXPECT_FALSE(held.HasPictureFor(&capturer));
  held.Keep(frame, &capturer);
  std::fill(source.begin(), source.end(), 0);
  held.ForgetLent();

  // A copy outlives its capturer.
  EXPECT_TRUE(held.HasPictureFor(&other_capturer));
  const CapturedFrame view = held.View();
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

// A capturer that keeps its picture until its next frame lends it: nothing is copied, its
// NV12 copy comes along, and it is repeated only while that capturer is the one in use.
TEST(HeldFrameTest, BorrowsAPictureItsCapturerKeeps) {
  std::vector<uint8_t> bgra(4 * 2 * 2, 0x11);
  std::vector<uint8_t> nv12(4 + 2, 0x22);
  CapturedFrame frame;
  frame.status = CaptureStatus::kFrameReady;
  frame.data = bgra.data();
  frame.row_pitch = 8;
  frame.width = 2;
  frame.height = 2;
  frame.data_size = bgra.size();
  frame.nv12 = nv12.data();
  frame.kept_until_next_frame = true;

  HeldFrame held;
  const int capturer = 0;
  const int other_capturer = 0;
  held.Keep(frame, &capturer);
  ASSERT_TRUE(held.HasPictureFor(&capturer));
  EXPECT_FALSE(held.HasPictureFor(&other_capturer));
  const CapturedFrame view = held.View();
  EXPECT_EQ(view.data, bgra.data());
  EXPECT_EQ(view.nv12, nv12.data());
  EXPECT_EQ(view.row_pitch, 8u);

  held.ForgetLent();
  EXPECT_FALSE(held.HasPictureFor(&capturer));

  // A copied frame after a lent one is the one repeated.
  frame.kept_until_next_frame = false;
  frame.nv12 = nullptr;
  held.Keep(frame, &capturer);
  held.ForgetLent();
  ASSERT_TRUE(held.HasPictureFor(&capturer));
  EXPECT_NE(held.View().data, bgra.data());
}

}  // namespace
}  // namespace orvane
