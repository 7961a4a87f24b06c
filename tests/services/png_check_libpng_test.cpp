#include <gtest/gtest.h>

#include "services/png_check.h"

namespace orvane::testing {
namespace {

// A 2x2 RGB PNG.
const std::vector<uint8_t> kPng = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xFD,
    0xD4, 0x9A, 0x73, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0xF8,
    0xCF, 0xC0, 0xC0, 0x00, 0xC2, 0x0C, 0xFF, 0x81, 0x00, 0x00, 0x1F, 0xEE, 0x05, 0xFB, 0xF1,
    0xAB, 0xBA, 0x77, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
// Where the compressed pixels start.
constexpr size_t kIdatData = 41;

TEST(PngCheckTest, OnlyWholeIntactPngFilesDecode) {
  EXPECT_TRUE(PngDecodes(kPng));

  const auto changed = [](size_t at) {
    std::vector<uint8_t> png = kPng;
    png[at] ^= 0x01;
    return png;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"another format", {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0, 0, 0}},
      {"signature only", {kPng.begin(), kPng.begin() + 8}},
      {"no end chunk", {kPng.begin(), kPng.end() - 12}},
      {"cut in the pixels", {kPng.begin(), kPng.begin() + kIdatData + 6}},
      {"pixels changed (checksum)", changed(kIdatData + 4)},
      {"header changed (checksum)", changed(17)},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(PngDecodes(c.bytes)) << c.name;
  }
}

}  // namespace
}  // namespace orvane::testing
