#include <gtest/gtest.h>

#include "services/png_check.h"
#include "support/small_png.h"

namespace orvane::testing {
namespace {

TEST(PngCheckTest, OnlyWholeIntactPngFilesDecode) {
  EXPECT_TRUE(PngDecodes(kSmallPng));

  const auto changed = [](size_t at) {
    std::vector<uint8_t> png = kSmallPng;
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
      {"signature only", {kSmallPng.begin(), kSmallPng.begin() + 8}},
      {"no end chunk", {kSmallPng.begin(), kSmallPng.end() - 12}},
      {"cut in the pixels", {kSmallPng.begin(), kSmallPng.begin() + kSmallPngIdatData + 6}},
      {"pixels changed (checksum)", changed(kSmallPngIdatData + 4)},
      {"header changed (checksum)", changed(17)},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(PngDecodes(c.bytes)) << c.name;
  }
}

}  // namespace
}  // namespace orvane::testing
