#include "client/random_text.h"

#include <cstdint>
#include <vector>

#include "security/session_crypto.h"

namespace orvane::client {

std::string RandomHexText(size_t byte_count) {
  std::vector<uint8_t> bytes(byte_count);
  if (!SessionCrypto::RandomBytes(bytes)) {
    return {};
  }
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(byte_count * 2);
  for (const uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

}  // namespace orvane::client
