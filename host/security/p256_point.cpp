#include "security/p256_point.h"

#include <algorithm>

namespace orvane {
namespace {

// A 256-bit number as four 64-bit limbs, least significant first. Only public values
// (peer keys) pass through here, so nothing needs to run in constant time; a key
// agreement does this once, so simple shift-and-add arithmetic is fast enough.
using U256 = std::array<uint64_t, 4>;

constexpr U256 kPrime = {0xffffffffffffffffull, 0x00000000ffffffffull, 0x0000000000000000ull,
                         0xffffffff00000001ull};
constexpr U256 kB = {0x3bce3c3e27d2604bull, 0x651d06b0cc53b0f6ull, 0xb3ebbd55769886bcull,
                     0x5ac635d8aa3a93e7ull};
// (p + 1) / 4: as p ≡ 3 (mod 4), a^((p+1)/4) is a square root of a whenever one exists.
constexpr U256 kSqrtExponent = {0x0000000000000000ull, 0x0000000040000000ull, 0x4000000000000000ull,
                                0x3fffffffc0000000ull};

U256 FromBytes(std::span<const uint8_t, 32> bytes) {
  U256 value{};
  for (size_t i = 0; i < 32; ++i) {
    value[3 - i / 8] = (value[3 - i / 8] << 8) | bytes[i];
  }
  return value;
}

P256Coordinate ToBytes(const U256& value) {
  P256Coordinate bytes{};
  for (size_t i = 0; i < 32; ++i) {
    bytes[i] = static_cast<uint8_t>(value[3 - i / 8] >> (8 * (7 - i % 8)));
  }
  return bytes;
}

bool Below(const U256& a, const U256& b) {
  for (size_t i = 4; i-- > 0;) {
    if (a[i] != b[i]) {
      return a[i] < b[i];
    }
  }
  return false;
}

// a - b over 256 bits; the borrow out of the top limb, if any, is returned.
uint64_t Subtract(U256& a, const U256& b) {
  uint64_t borrow = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint64_t minuend = a[i];
    const uint64_t difference = minuend - b[i] - borrow;
    borrow = (minuend < b[i] || (minuend == b[i] && borrow != 0)) ? 1 : 0;
    a[i] = difference;
  }
  return borrow;
}

// a + b over 256 bits; the carry out of the top limb is returned.
uint64_t Add(U256& a, const U256& b) {
  uint64_t carry = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint64_t partial = a[i] + carry;
    const uint64_t carry_in = partial < carry ? 1 : 0;
    a[i] = partial + b[i];
    carry = carry_in + (a[i] < b[i] ? 1 : 0);
  }
  return carry;
}

// (a + b) mod p for a, b < p.
U256 AddMod(const U256& a, const U256& b) {
  U256 sum = a;
  if (Add(sum, b) != 0 || !Below(sum, kPrime)) {
    Subtract(sum, kPrime);
  }
  return sum;
}

// (a - b) mod p for a, b < p.
U256 SubMod(const U256& a, const U256& b) {
  U256 difference = a;
  if (Subtract(difference, b) != 0) {
    Add(difference, kPrime);  // its carry out cancels the borrow
  }
  return difference;
}

// (a * b) mod p for a, b < p, by doubling and adding over the bits of b.
U256 MulMod(const U256& a, const U256& b) {
  U256 product{};
  for (size_t bit = 256; bit-- > 0;) {
    product = AddMod(product, product);
    if ((b[bit / 64] >> (bit % 64)) & 1) {
      product = AddMod(product, a);
    }
  }
  return product;
}

U256 PowMod(const U256& base, const U256& exponent) {
  U256 result = {1, 0, 0, 0};
  for (size_t bit = 256; bit-- > 0;) {
    result = MulMod(result, result);
    if ((exponent[bit / 64] >> (bit % 64)) & 1) {
      result = MulMod(result, base);
    }
  }
  return result;
}

// x^3 - 3x + b mod p: what Y^2 must be.
U256 CurveRightSide(const U256& x) {
  const U256 x_cubed = MulMod(MulMod(x, x), x);
  const U256 three_x = AddMod(AddMod(x, x), x);
  return AddMod(SubMod(x_cubed, three_x), kB);
}

}  // namespace

std::optional<P256Coordinate> P256EvenY(std::span<const uint8_t, 32> x_bytes) {
  const U256 x = FromBytes(x_bytes);
  if (!Below(x, kPrime)) {
    return std::nullopt;
  }
  const U256 y_squared = CurveRightSide(x);
  U256 y = PowMod(y_squared, kSqrtExponent);
  if (MulMod(y, y) != y_squared) {
    return std::nullopt;  // not a square: no point has this X
  }
  if ((y[0] & 1) != 0) {
    y = SubMod(U256{}, y);
  }
  return ToBytes(y);
}

bool IsOnP256(std::span<const uint8_t, 32> x_bytes, std::span<const uint8_t, 32> y_bytes) {
  const U256 x = FromBytes(x_bytes);
  const U256 y = FromBytes(y_bytes);
  return Below(x, kPrime) && Below(y, kPrime) && MulMod(y, y) == CurveRightSide(x);
}

}  // namespace orvane
