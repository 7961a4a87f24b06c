#pragma once

#include <cstdint>

namespace orvane {

// Wire numbers outside protobuf are big-endian.
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

inline uint64_t LoadBigEndian64(const uint8_t* in) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) {
    value = (value << 8) | in[i];
  }
  return value;
}

}  // namespace orvane
