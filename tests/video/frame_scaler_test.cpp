#include "video/frame_scaler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "video/captured_frame.h"

namespace orvane {
namespace {

// An image whose every pixel encodes its own column and row, with `padding` unused
// bytes at the end of each row.
struct TestImage {
  TestImage(uint32_t width, uint32_t height, uint32_t padding = 0)
      : pitch(width * 4 + padding), bytes(size_t{pitch} * height, 0xEE) {
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        uint8_t* pixel = &bytes[size_t{y} * pitch + x * 4];
        pixel[0] = static_cast<uint8_t>(x);
        pixel[1] = static_cast<uint8_t>(y);
        pixel[2] = 0x55;
        pixel[3] = 0xFF;
      }
    }
    frame.status = CaptureStatus::kFrameReady;
    frame.data = bytes.data();
    frame.row_pitch = pitch;
    frame.width = width;
    frame.height = height;
    frame.data_size = bytes.size();
  }

  uint32_t pitch;
  std::vector<uint8_t> bytes;
  CapturedFrame frame;
};

TEST(FrameFitsMemoryTest, RefusesFramesDescribingMoreThanTheirMemory) {
  std::vector<uint8_t> memory(4 * 10 * 5);
  struct Case {
    const char* what;
    uint32_t width, height, pitch;
    size_t size;
    bool fits;
  };
  const Case cases[] = {
      {"exact", 10, 5, 40, 200, true},
      {"padded pitch, last row unpadded", 10, 5, 48, 48 * 4 + 40, true},
      {"one row too many", 10, 6, 40, 200, false},
      {"one column too many", 11, 5, 44, 200, false},
      {"pitch shorter than a row", 10, 5, 36, 200, false},
      {"zero width", 0, 5, 40, 200, false},
      {"zero height", 10, 0, 40, 200, false},
      {"huge pitch times height, no overflow", 2, 0x40000000, 0xFFFFFFF0, 200, false},
  };
  for (const Case& c : cases) {
    CapturedFrame frame;
    frame.data = memory.data();
    frame.width = c.width;
    frame.height = c.height;
    frame.row_pitch = c.pitch;
    frame.data_size = c.size;
    EXPECT_EQ(FrameFitsMemory(frame), c.fits) << c.what;
  }
  CapturedFrame no_data;
  no_data.width = 1;
  no_data.height = 1;
  no_data.row_pitch = 4;
  no_data.data_size = 4;
  EXPECT_FALSE(FrameFitsMemory(no_data));
}

TEST(FrameScalerTest, PicksTheNearestSourcePixelForEveryDestinationPixel) {
  struct Case {
    uint32_t source_width, source_height, padding, width, height;
  };
  const Case cases[] = {
      {8, 6, 0, 4, 3},    // halves
      {4, 3, 12, 8, 6},   // doubles, padded source rows
      {10, 7, 4, 6, 11},  // shrinks one way and grows the other
      {5, 5, 0, 5, 5},    // same size copies
  };
  for (const Case& c : cases) {
    TestImage source(c.source_width, c.source_height, c.padding);
    FrameScaler scaler;
    const CapturedFrame scaled = scaler.Scale(source.frame, c.width, c.height);
    ASSERT_EQ(scaled.status, CaptureStatus::kFrameReady);
    ASSERT_EQ(scaled.width, c.width);
    ASSERT_EQ(scaled.height, c.height);
    ASSERT_EQ(scaled.row_pitch, c.width * 4);
    ASSERT_TRUE(FrameFitsMemory(scaled));
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        // Centre of destination pixel x maps to source coordinate (x + 0.5) * ratio.
        const double source_x = (x + 0.5) * c.source_width / c.width;
        const double source_y = (y + 0.5) * c.source_height / c.height;
        const uint8_t* pixel = scaled.data + size_t{y} * scaled.row_pitch + x * 4;
        EXPECT_EQ(pixel[0], static_cast<uint32_t>(source_x)) << x << "," << y;
        EXPECT_EQ(pixel[1], static_cast<uint32_t>(source_y)) << x << "," << y;
        EXPECT_EQ(pixel[2], 0x55);
      }
    }
  }
}

TEST(FrameScalerTest, FollowsSourceWidthChangesBetweenCalls) {
  FrameScaler scaler;
  TestImage wide(16, 2);
  TestImage narrow(4, 2);
  scaler.Scale(wide.frame, 4, 2);
  const CapturedFrame scaled = scaler.Scale(narrow.frame, 4, 2);
  ASSERT_EQ(scaled.status, CaptureStatus::kFrameReady);
  for (uint32_t x = 0; x < 4; ++x) {
    EXPECT_EQ(scaled.data[x * 4], x);
  }
}

TEST(FrameScalerTest, FailsWithoutReadingBeyondTheSource) {
  TestImage source(8, 8);
  FrameScaler scaler;
  CapturedFrame lying = source.frame;
  lying.height = 9;
  EXPECT_EQ(scaler.Scale(lying, 4, 4).status, CaptureStatus::kFailed);
  EXPECT_EQ(scaler.Scale(source.frame, 0, 4).status, CaptureStatus::kFailed);
  EXPECT_EQ(scaler.Scale(source.frame, 4, 0).status, CaptureStatus::kFailed);
}

}  // namespace
}  // namespace orvane
