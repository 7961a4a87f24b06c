#include "client/control_framing.h"

#include <algorithm>
#include <iterator>

#include "base/byte_order.h"
#include "security/secure_envelope.h"

namespace orvane::client {
namespace {

constexpr uint8_t kMagic[] = {'O', 'R', 'V', '1'};
constexpr size_t kFlagOffset = 4;
constexpr size_t kCounterOffset = 5;

std::optional<std::vector<uint8_t>> Sealed(std::span<const uint8_t> message,
                                           const std::vector<uint8_t>& key, uint64_t counter) {
  std::vector<uint8_t> envelope;
  if (key.empty() || !SealEnvelope(key, kControlDirection, counter, message, envelope)) {
    return std::nullopt;
  }
  return envelope;
}

std::vector<uint8_t> ClearEnvelope(std::span<const uint8_t> message, uint64_t counter) {
  std::vector<uint8_t> envelope(kEnvelopeHeaderSize + message.size());
  std::copy(std::begin(kMagic), std::end(kMagic), envelope.begin());
  envelope[kFlagOffset] = 0x00;
  StoreBigEndian64(counter, envelope.data() + kCounterOffset);
  std::copy(message.begin(), message.end(), envelope.begin() + kEnvelopeHeaderSize);
  return envelope;
}

}  // namespace

std::optional<std::vector<uint8_t>> FrameControlPayload(std::span<const uint8_t> message,
                                                        FrameMode mode, const SessionKeys& keys,
                                                        uint64_t counter) {
  switch (mode) {
    case FrameMode::kBare:
      return std::vector<uint8_t>(message.begin(), message.end());
    case FrameMode::kClearEnvelope:
      return ClearEnvelope(message, counter);
    case FrameMode::kSealedPrimary:
      return Sealed(message, keys.primary, counter);
    case FrameMode::kSealedCompatibility:
      return Sealed(message, keys.compatibility, counter);
  }
  return std::nullopt;
}

}  // namespace orvane::client
