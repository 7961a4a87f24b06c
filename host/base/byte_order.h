#pragma once

#include <cstdint>

namespace orvane {

// Wire numbers outside protobuf are big-endian.
inline void StoreBigEndian16(uint16_t value, uint8_t* out) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}

inline void StoreBigEndian32(uint32_t value, uint8_t* out) {
  for (int i = 3; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

inline void StoreBigEndian64(uint64_t value, uint8_t* out) {
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

inline uint16_t LoadBigEndian16(const uint8_t* in) {
  return static_cast<uint16_t>((in[0] << 8) | in[1]);
}

inline uint32_t LoadBigEndian32(const uint8_t* in) {
  return (static_cast<uint32_t>(in[0]) << 24) | (static_cast<uint32_t>(in[1]) << 16) |
         (static_cast<uint32_t>(in[2]) << 8) | static_cast<uint32_t>(in[3]);
}

inline uint64_t LoadBigEndian64(const uint8_t* in) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) {
    value = (value << 8) | in[i];
  }
  return value;
}

}  // namespace orvane
