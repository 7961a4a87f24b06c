#include "video/encoder_input.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {
namespace {

TEST(EncoderInputTest, FormatsAreOfferedNv12FirstUnderTheirLogNames) {
  std::string names;
  for (const EncoderInputFormat format : kEncoderInputFormats) {
    names += std::string(EncoderInputFormatName(format)) + " ";
  }
  EXPECT_EQ(names, "NV12 ARGB32 RGB32 ");
}

TEST(EncoderInputTest, PackedBgraIsTheCaptureMemoryUnlessRowsArePadded) {
  std::vector<uint8_t> frame(2 * 12, 0);
  for (size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<uint8_t>(i);
  }
  std::vector<uint8_t> buffer;
  const auto packed = PackedBgra(frame.data(), 8, 2, 3, buffer);
  EXPECT_EQ(packed.data(), frame.data());
  EXPECT_EQ(packed.size(), 24u);
  EXPECT_TRUE(buffer.empty());

  // A pitch of 12 bytes for rows of 8: the last 4 bytes of each row are padding.
  const auto copied = PackedBgra(frame.data(), 12, 2, 2, buffer);
  ASSERT_EQ(copied.size(), 16u);
  EXPECT_EQ(copied.data(), buffer.data());
  EXPECT_EQ(copied[7], 7);
  EXPECT_EQ(copied[8], 12);
}

TEST(EncoderInputTest, CpuNv12GivesLimitedRangeWhiteAndBlack) {
  // 2 × 2: white row over a black row.
  const std::vector<uint8_t> frame = {255, 255, 255, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> buffer;
  const auto nv12 = CpuNv12(frame.data(), 8, 2, 2, buffer);
  EXPECT_EQ(std::vector<uint8_t>(nv12.begin(), nv12.end()),
            (std::vector<uint8_t>{235, 235, 16, 16, 128, 128}));
}

TEST(EncoderInputTest, MappedNv12IsPackedToTheWidth) {
  struct Case {
    const char* what;
    uint32_t width, height;
    size_t pitch;
    std::vector<uint8_t> expected;
  };
  // Mapped rows of `pitch` bytes: byte value = 10 * row + column, the chroma plane
  // starting `height` rows in.
  const Case cases[] = {
      {"pitch wider than the width", 2, 2, 4, {0, 1, 10, 11, 20, 21}},
      {"height 1 has no chroma rows", 3, 1, 4, {0, 1, 2}},
      {"four rows, two chroma rows", 2, 4, 3, {0, 1, 10, 11, 20, 21, 30, 31, 40, 41, 50, 51}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> mapped(c.pitch * (c.height + c.height / 2 + 1), 0xEE);
    for (size_t row = 0; row < c.height + c.height / 2; ++row) {
      for (size_t column = 0; column < c.pitch; ++column) {
        mapped[row * c.pitch + column] = static_cast<uint8_t>(10 * row + column);
      }
    }
    std::vector<uint8_t> out;
    PackNv12Surface(mapped.data(), c.pitch, c.width, c.height, out);
    EXPECT_EQ(out.size(), Nv12FrameSize(c.width, c.height));
    out.resize(c.expected.size());
    EXPECT_EQ(out, c.expected);
  }
}

TEST(EncoderInputTest, SampleClockCountsHundredsOfNanoseconds) {
  EXPECT_EQ(MicrosFromSampleTime(333333), 33333u);
  EXPECT_EQ(SampleTimeFromMicros(33333), 333330);
  EXPECT_EQ(MicrosFromSampleTime(SampleTimeFromMicros(123456789012)), 123456789012u);
  EXPECT_EQ(SampleDuration(60), 166660);
  EXPECT_EQ(SampleDuration(30), 333330);
  EXPECT_EQ(SampleDuration(0), 0);
}

}  // namespace
}  // namespace orvane
