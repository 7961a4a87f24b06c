#include "session/control_frame_opener.h"

#include "base/logger.h"
#include "platform/clock.h"
#include "security/key_fingerprint.h"
#include "security/secure_envelope.h"

namespace orvane {
namespace {

constexpr uint64_t kWarningIntervalNs = 1000000000ull;
constexpr uint64_t kFailuresPerRekeyRequest = 6;

}  // namespace

bool ControlFrameOpener::ShouldWarn() {
  const uint64_t now = MonotonicNanos();
  if (last_warning_ns_ && now - *last_warning_ns_ <= kWarningIntervalNs) {
    return false;
  }
  last_warning_ns_ = now;
  return true;
}

std::optional<std::vector<uint8_t>> ControlFrameOpener::Open(std::span<const uint8_t> frame) {
  const EnvelopeView envelope = ParseEnvelope(frame);
  if (envelope.kind != EnvelopeKind::kSealed) {
    return std::vector<uint8_t>(envelope.payload.begin(), envelope.payload.end());
  }
  const auto counter = static_cast<long long>(envelope.counter);
  const auto payload_size = static_cast<unsigned>(envelope.payload.size());
  const SessionKeys keys = handler_.Keys();
  if (keys.primary.empty()) {
    ++dropped_before_key_;
    if (ShouldWarn()) {
      LOG_WARN(
          "[Protocol] Dropping encrypted control frame before session key is ready (count=%llu, "
          "ctr=%lld, payload=%u)",
          static_cast<unsigned long long>(dropped_before_key_), counter, payload_size);
    }
    return std::nullopt;
  }
  if (auto plaintext = OpenEnvelope(frame, keys.primary, kControlDirection)) {
    return plaintext;
  }
  if (!keys.compatibility.empty()) {
    if (auto plaintext = OpenEnvelope(frame, keys.compatibility, kControlDirection)) {
      LOG_WARN(
          "[Protocol] Decrypted control frame with compatibility session key (ctr=%lld, "
          "payload=%u, compat_key_fp=%s)",
          counter, payload_size, KeyFingerprint(keys.compatibility).c_str());
      handler_.PromoteCompatibilityKey();
      LOG_WARN("[Protocol] Promoted compatibility session key as active");
      return plaintext;
    }
  }
  ++decrypt_failures_;
  if (ShouldWarn()) {
    LOG_WARN(
        "[Protocol] Failed to decrypt secure control frame (count=%llu, ctr=%lld, payload=%u, "
        "key_len=%zu, key_fp=%s, payload_prefix=%s)",
        static_cast<unsigned long long>(decrypt_failures_), counter, payload_size,
        keys.primary.size(), KeyFingerprint(keys.primary).c_str(),
        HexPrefix(envelope.payload, 4).c_str());
  }
  if (decrypt_failures_ % kFailuresPerRekeyRequest == 0) {
    handler_.messages().SendRekeyRequired("control-decrypt-desync", MonotonicMicros());
  }
  return std::nullopt;
}

}  // namespace orvane
