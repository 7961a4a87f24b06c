#include "viewer/letterbox.h"

#include <gtest/gtest.h>

namespace orvane::viewer {
namespace {

TEST(LetterboxTest, ThePictureKeepsItsAspectAndIsCentred) {
  const struct {
    int window_width, window_height, picture_width, picture_height;
    PictureRect expected;
  } cases[] = {
      {1280, 720, 1280, 720, {0, 0, 1280, 720}},
      {1000, 1000, 1280, 720, {0, 219, 1000, 562}},    // bars above and below
      {1920, 1080, 1280, 1024, {285, 0, 1350, 1080}},  // bars left and right
      {640, 360, 1920, 1080, {0, 0, 640, 360}},
      {16384, 16384, 16384, 1, {0, 8191, 16384, 1}},  // no 32-bit overflow
      {0, 720, 1280, 720, {}},
      {1280, 720, 0, 0, {}},
  };
  for (const auto& one : cases) {
    EXPECT_EQ(Letterbox(one.window_width, one.window_height, one.picture_width, one.picture_height),
              one.expected)
        << one.window_width << "x" << one.window_height;
  }
}

// The host's own mapping: single precision, truncated, 1.0 being the last pixel.
int HostPixel(float normalized, int extent) {
  return static_cast<int>(static_cast<float>(extent - 1) * normalized);
}

TEST(LetterboxTest, EveryPixelOfAOneToOnePictureLandsOnTheSameHostPixel) {
  const PictureRect picture{0, 0, 1280, 720};
  for (int x = 0; x < 1280; ++x) {
    const auto at = WindowToStream(picture, 1280, 720, static_cast<float>(x), 360);
    ASSERT_TRUE(at);
    ASSERT_EQ(HostPixel(at->x, 1280), x);
  }
  for (int y = 0; y < 720; ++y) {
    const auto at = WindowToStream(picture, 1280, 720, 640, static_cast<float>(y));
    ASSERT_TRUE(at);
    ASSERT_EQ(HostPixel(at->y, 720), y);
  }
}

TEST(LetterboxTest, PointsAreScaledOffsetAndRefusedOnTheBars) {
  // A 1920x1080 stream shown at half size below a 100-pixel bar.
  const PictureRect picture{0, 100, 960, 540};
  const auto middle = WindowToStream(picture, 1920, 1080, 480, 370);
  ASSERT_TRUE(middle);
  EXPECT_EQ(HostPixel(middle->x, 1920), 961);
  EXPECT_EQ(HostPixel(middle->y, 1080), 541);
  const auto corner = WindowToStream(picture, 1920, 1080, 959, 639);
  ASSERT_TRUE(corner);
  EXPECT_EQ(corner->x, 1.0f);
  EXPECT_EQ(corner->y, 1.0f);
  EXPECT_FALSE(WindowToStream(picture, 1920, 1080, 480, 99));
  EXPECT_FALSE(WindowToStream(picture, 1920, 1080, 480, 640));
  EXPECT_FALSE(WindowToStream(picture, 1920, 1080, 960, 300));
  EXPECT_FALSE(WindowToStream(picture, 1920, 1080, -1, 300));
  EXPECT_FALSE(WindowToStream(PictureRect{}, 1920, 1080, 0, 0));
}

}  // namespace
}  // namespace orvane::viewer
