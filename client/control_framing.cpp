#include "client/control_framing.h"

#include "security/secure_envelope.h"

namespace orvane::client {
namespace {

std::optional<std::vector<uint8_t>> Sealed(std::span<const uint8_t> message,
                                           const std::vector<uint8_t>& key, uint64_t counter) {
  std::vector<uint8_t> envelope;
  if (key.empty() || !SealEnvelope(key, kControlDirection, counter, message, envelope)) {
    return std::nullopt;
  }
  return envelope;
}

}  // namespace

std::optional<std::vector<uint8_t>> FrameControlPayload(std::span<const uint8_t> message,
                                                        FrameMode mode, const SessionKeys& keys,
                                                        uint64_t counter) {
  switch (mode) {
    case FrameMode::kBare:
      return std::vector<uint8_t>(message.begin(), message.end());
    case FrameMode::kClearEnvelope: {
      std::vector<uint8_t> envelope;
      WriteClearEnvelope(counter, message, envelope);
      return envelope;
    }
    case FrameMode::kSealedPrimary:
      return Sealed(message, keys.primary, counter);
    case FrameMode::kSealedCompatibility:
      return Sealed(message, keys.compatibility, counter);
  }
  return std::nullopt;
}

}  // namespace orvane::client
