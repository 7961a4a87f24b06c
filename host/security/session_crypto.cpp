#include "security/session_crypto.h"

#include <algorithm>
#include <string_view>

#include "base/logger.h"
#include "security/ecdh_secret.h"
#include "security/gcm_nonce.h"
#include "security/hkdf.h"

namespace orvane {
namespace {

constexpr std::string_view kSessionKeyLabel = "orvane-display-session-v1";

// AES-128 uses the first 16 bytes; a shorter key is handed on as it is and refused by
// the backend, like any other unusable key.
std::span<const uint8_t> AesKeyBytes(std::span<const uint8_t> key) {
  return key.first(std::min(SessionCrypto::kAesKeySize, key.size()));
}

}  // namespace

SessionCrypto::~SessionCrypto() = default;

std::vector<uint8_t> SessionCrypto::DeriveSessionKey(const EcdhPrivateKey* private_key,
                                                     std::span<const uint8_t> peer_public_key,
                                                     std::span<const uint8_t> salt,
                                                     bool reverse_secret) const {
  if (!provider_ || private_key == nullptr || peer_public_key.empty()) {
    return {};
  }
  const std::optional<PeerKeyForm> form = PeerKeyFormForSize(peer_public_key.size());
  if (!form) {
    LOG_ERROR("[Crypto] Unsupported peer public key size: %u",
              static_cast<unsigned>(peer_public_key.size()));
    return {};
  }
  const std::vector<uint8_t> raw = AgreeRawSecret(*private_key, peer_public_key);
  if (raw.empty()) {
    return {};
  }
  const std::vector<uint8_t> shaped = ShapeSharedSecret(raw, *form, reverse_secret);
  const auto* label = reinterpret_cast<const uint8_t*>(kSessionKeyLabel.data());
  std::vector<uint8_t> key =
      HkdfSha256(shaped, salt, {label, kSessionKeyLabel.size()}, kSessionKeySize);
  if (key.empty()) {
    return {};
  }
  LOG_INFO(
      "[Crypto] Session key derived via ECDH + HKDF-SHA256 (%zu bytes, raw=%zu, "
      "p256_reverse=%d)",
      key.size(), shaped.size(), reverse_secret ? 1 : 0);
  return key;
}

bool SessionCrypto::EncryptPayloadInto(std::span<const uint8_t> key, uint32_t direction,
                                       uint64_t counter, std::span<const uint8_t> plaintext,
                                       std::span<const uint8_t> aad, std::span<uint8_t> sealed) {
  if (sealed.size() != plaintext.size() + kTagSize) {
    return false;
  }
  const auto nonce = GcmNonce(direction, counter);
  return SealAesGcm(AesKeyBytes(key), nonce, plaintext, aad, sealed.first(plaintext.size()),
                    sealed.last(kTagSize));
}

std::vector<uint8_t> SessionCrypto::EncryptPayload(std::span<const uint8_t> key, uint32_t direction,
                                                   uint64_t counter,
                                                   std::span<const uint8_t> plaintext,
                                                   std::span<const uint8_t> aad) {
  std::vector<uint8_t> sealed(plaintext.size() + kTagSize);
  if (!EncryptPayloadInto(key, direction, counter, plaintext, aad, sealed)) {
    return {};
  }
  return sealed;
}

std::vector<uint8_t> SessionCrypto::DecryptPayload(std::span<const uint8_t> key, uint32_t direction,
                                                   uint64_t counter,
                                                   std::span<const uint8_t> sealed,
                                                   std::span<const uint8_t> aad) {
  if (sealed.size() < kTagSize) {
    return {};
  }
  const std::span<const uint8_t> ciphertext = sealed.first(sealed.size() - kTagSize);
  std::vector<uint8_t> plaintext(ciphertext.size());
  const auto nonce = GcmNonce(direction, counter);
  const std::optional<size_t> opened =
      OpenAesGcm(AesKeyBytes(key), nonce, ciphertext, sealed.last(kTagSize), aad, plaintext);
  if (!opened) {
    return {};
  }
  plaintext.resize(std::min(*opened, plaintext.size()));
  return plaintext;
}

}  // namespace orvane
