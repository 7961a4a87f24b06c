#include "security/p256_point.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "security/hex_bytes.h"

namespace orvane {
namespace {

using testing::FromHex;

std::span<const uint8_t, 32> Coordinate(const std::vector<uint8_t>& bytes) {
  return std::span<const uint8_t, 32>(bytes.data(), 32);
}

std::string Hex(const P256Coordinate& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

constexpr const char kPrime[] = "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff";

// Points of keys OpenSSL generated, with the even Y it gives a compressed point (0x02);
// about half of them had the odd Y, and the generator too.
TEST(P256PointTest, CompletesAnXWithTheEvenYOpenSslGivesIt) {
  struct Case {
    const char* x;
    const char* even_y;  // empty: no point has this X
  };
  const Case cases[] = {
      {"984e1a6598ba12279798eecd2a5d7945041fd32c16637f37d1f8698746666aab",
       "33d6d960e3b62f298af0f47a1396c1c88679598d9b498a0d1be2313dd1b425ca"},
      {"ec15b2133b7992a11743e4d8d244e0af436f90c6decf5271ab337b6c2ad70b7a",
       "4228af8972c527c61dde612c615d53b55071a0279a8400152e231ad8877e6d08"},
      {"98c217710f232ea95a66aea86e4e90e1e50afe3ac5f2f78f98abbf93719906c3",
       "1eeeb478691efd355678ee4d025c2d5ff8227a8c517377bea71c0f8823f5428c"},
      {"7c47cd565776995b378e0490ea9a83e02a1bb1c5811fde64f135540e2a77d1b2",
       "c4c7cb1aefc9b08d13e710634eacbf6fb67ba723d2c68f114a75fcb1fbf18672"},
      {"6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296",
       "b01cbd1c01e58065711814b583f061e9d431cca994cea1313449bf97c840ae0a"},
      {"0000000000000000000000000000000000000000000000000000000000000000",
       "66485c780e2f83d72433bd5d84a06bb6541c2af31dae871728bf856a174f93f4"},
      {"0000000000000000000000000000000000000000000000000000000000000001", ""},
      {kPrime, ""},
      {"ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    const std::vector<uint8_t> x = FromHex(c.x);
    const std::optional<P256Coordinate> y = P256EvenY(Coordinate(x));
    if (std::string(c.even_y).empty()) {
      EXPECT_FALSE(y.has_value());
      continue;
    }
    ASSERT_TRUE(y.has_value());
    EXPECT_EQ(Hex(*y), c.even_y);
    EXPECT_TRUE(IsOnP256(Coordinate(x), *y));
  }
}

TEST(P256PointTest, TellsPointsOnTheCurveFromOthers) {
  const std::vector<uint8_t> x =
      FromHex("98c217710f232ea95a66aea86e4e90e1e50afe3ac5f2f78f98abbf93719906c3");
  const std::vector<uint8_t> odd_y =
      FromHex("e1114b8696e102cba98711b2fda3d2a007dd8574ae8c884158e3f077dc0abd73");
  const std::vector<uint8_t> even_y =
      FromHex("1eeeb478691efd355678ee4d025c2d5ff8227a8c517377bea71c0f8823f5428c");
  std::vector<uint8_t> altered_y = odd_y;
  altered_y.back() ^= 1;
  // The prime itself stands for 0 only when reduced, which a coordinate never is.
  const std::vector<uint8_t> prime = FromHex(kPrime);
  const std::vector<uint8_t> zero(32, 0);
  struct Case {
    const char* name;
    std::vector<uint8_t> x, y;
    bool on_curve;
  };
  const Case cases[] = {
      {"the point OpenSSL made", x, odd_y, true},
      {"its negation", x, even_y, true},
      {"Y altered", x, altered_y, false},
      {"zeros (the point at infinity has no coordinates)", zero, zero, false},
      {"X not below p", prime, odd_y, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsOnP256(Coordinate(c.x), Coordinate(c.y)), c.on_curve) << c.name;
  }
}

}  // namespace
}  // namespace orvane
