#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace orvane {

// Coordinates of a point on the NIST P-256 curve, 32 bytes each, big-endian.
using P256Coordinate = std::array<uint8_t, 32>;

// The Y of the point with this X whose Y is even (as a compressed point with the 0x02
// prefix names it); nullopt when X is not below the field prime or no point has this X.
// For peer keys given as X alone, which key blobs of CNG cannot carry.
std::optional<P256Coordinate> P256EvenY(std::span<const uint8_t, 32> x);

// True when X and Y are below the field prime and satisfy the curve equation.
bool IsOnP256(std::span<const uint8_t, 32> x, std::span<const uint8_t, 32> y);

}  // namespace orvane
