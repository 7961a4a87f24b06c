#include "video/nv12_converter_d3d11.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "video/nv12_converter.h"

namespace orvane {
namespace {

TEST(D3d11Nv12ConverterTest, ConvertBeforeInitializeIsRefused) {
  D3d11Nv12Converter converter;
  const std::vector<uint8_t> frame(16 * 16 * 4, 0xFF);
  std::vector<uint8_t> out;
  EXPECT_FALSE(converter.Convert(frame.data(), 16 * 4, 16, 16, out));
  EXPECT_EQ(converter.status().code, 7);
  EXPECT_EQ(converter.status().message, "GPU color converter is not initialized");
  EXPECT_EQ(converter.status().hr, 0x80004005u);
  EXPECT_TRUE(out.empty());
}

// With a video processor the conversion gives the CPU converter's colour (matrix and
// range alike); without one the set-up names the step that failed.
TEST(D3d11Nv12ConverterTest, ConvertsLikeTheCpuWhereAVideoProcessorExists) {
  D3d11Nv12Converter converter;
  if (!converter.Initialize(64, 32, 30)) {
    const std::set<std::string> set_up_failures = {
        "Failed to create D3D11 device for BGRA->NV12 conversion",
        "Failed to query ID3D11VideoDevice",
        "Failed to query ID3D11VideoContext",
        "Failed to create video processor enumerator",
        "Failed to create D3D11 video processor",
        "Failed to create BGRA upload texture for color conversion",
        "Failed to create NV12 output texture for color conversion",
        "Failed to create NV12 readback texture for color conversion"};
    EXPECT_EQ(converter.status().code, 7);
    EXPECT_TRUE(set_up_failures.count(converter.status().message)) << converter.status().message;
    EXPECT_NE(converter.status().hr, 0u);
    GTEST_SKIP() << "no D3D11 video processor: " << converter.status().message;
  }
  const std::array<uint8_t, 3> colours[] = {{255, 255, 255}, {40, 160, 220}};
  for (const std::array<uint8_t, 3>& bgr : colours) {
    std::vector<uint8_t> image(64 * 32 * 4);
    for (size_t i = 0; i < image.size(); i += 4) {
      std::copy(bgr.begin(), bgr.end(), &image[i]);
    }
    uint8_t y[4] = {};
    uint8_t uv[2] = {};
    ASSERT_TRUE(ConvertBgraToNv12(image.data(), 64 * 4, 2, 2, {y, 2, uv, 2}));
    std::vector<uint8_t> out;
    ASSERT_TRUE(converter.Convert(image.data(), 64 * 4, 64, 32, out)) << converter.status().message;
    ASSERT_EQ(out.size(), 64u * 32 * 3 / 2);
    EXPECT_NEAR(out[0], y[0], 2);
    EXPECT_NEAR(out[64 * 32], uv[0], 2);
    EXPECT_NEAR(out[64 * 32 + 1], uv[1], 2);
  }
}

}  // namespace
}  // namespace orvane
