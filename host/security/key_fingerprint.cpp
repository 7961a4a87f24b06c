#include "security/key_fingerprint.h"

#include <algorithm>
#include <cstdio>

namespace orvane {

std::string KeyFingerprint(std::span<const uint8_t> bytes) {
  uint32_t hash = 0x811C9DC5u;
  for (const uint8_t byte : bytes) {
    hash ^= byte;
    hash *= 16777619u;
  }
  char text[9];
  std::snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(hash));
  return text;
}

std::string HexPrefix(std::span<const uint8_t> bytes, size_t count) {
  constexpr size_t kMaxBytes = 12;
  const size_t shown = std::min({count, bytes.size(), kMaxBytes});
  if (shown == 0) {
    return "none";
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(shown * 2);
  for (size_t i = 0; i < shown; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace orvane
