#include "security/hkdf.h"

#include <algorithm>
#include <array>

#include "security/session_crypto.h"

namespace orvane {

std::vector<uint8_t> HkdfSha256(std::span<const uint8_t> input_keying_material,
                                std::span<const uint8_t> salt, std::span<const uint8_t> info,
                                size_t length) {
  constexpr size_t kBlock = SessionCrypto::kHmacSize;
  constexpr size_t kMaxBlocks = 255;
  if (length == 0 || length > kBlock * kMaxBlocks) {
    return {};
  }
  const std::array<uint8_t, kBlock> zero_salt{};
  const std::vector<uint8_t> prk = SessionCrypto::HmacSha256(
      salt.empty() ? std::span<const uint8_t>(zero_salt) : salt, "", input_keying_material);
  if (prk.size() != kBlock) {
    return {};
  }

  std::vector<uint8_t> output;
  output.reserve(length);
  std::vector<uint8_t> block;  // T(i-1), empty for T(0)
  std::vector<uint8_t> message;
  for (size_t i = 1; output.size() < length; ++i) {
    message.assign(block.begin(), block.end());
    message.insert(message.end(), info.begin(), info.end());
    message.push_back(static_cast<uint8_t>(i));
    block = SessionCrypto::HmacSha256(prk, "", message);
    if (block.size() != kBlock) {
      return {};
    }
    const size_t take = std::min(kBlock, length - output.size());
    output.insert(output.end(), block.begin(), block.begin() + static_cast<ptrdiff_t>(take));
  }
  return output;
}

}  // namespace orvane
