#include "security/ecdh_secret.h"

#include <algorithm>

namespace orvane {

std::optional<PeerKeyForm> PeerKeyFormForSize(size_t size) {
  switch (size) {
    case 64:
      return PeerKeyForm::kPoint;
    case 32:
      return PeerKeyForm::kXOnly;
    default:
      return std::nullopt;
  }
}

std::vector<uint8_t> ShapeSharedSecret(std::span<const uint8_t> raw_secret, PeerKeyForm form,
                                       bool reverse_secret) {
  if (form == PeerKeyForm::kXOnly) {
    return std::vector<uint8_t>(raw_secret.rbegin(), raw_secret.rend());
  }
  constexpr size_t kSize = 32;
  std::vector<uint8_t> shaped(kSize, 0);
  const size_t take = std::min(kSize, raw_secret.size());
  std::copy(raw_secret.end() - static_cast<ptrdiff_t>(take), raw_secret.end(),
            shaped.end() - static_cast<ptrdiff_t>(take));
  if (reverse_secret) {
    std::reverse(shaped.begin(), shaped.end());
  }
  return shaped;
}

}  // namespace orvane
