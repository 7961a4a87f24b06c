#pragma once

#include <array>
#include <cstdint>

#include "base/byte_order.h"

namespace orvane {

inline constexpr size_t kGcmNonceSize = 12;

// The sealing direction keeps the two ends of a channel from ever sharing a nonce under
// one key: direction BE32, then the envelope counter BE64.
inline std::array<uint8_t, kGcmNonceSize> GcmNonce(uint32_t direction, uint64_t counter) {
  std::array<uint8_t, kGcmNonceSize> nonce{};
  StoreBigEndian32(direction, nonce.data());
  StoreBigEndian64(counter, nonce.data() + 4);
  return nonce;
}

}  // namespace orvane
