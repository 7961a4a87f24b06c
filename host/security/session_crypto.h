#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// Backend objects (a CNG handle on Windows, an OpenSSL object on Linux), opaque here.
class EcdhProvider;
class EcdhPrivateKey;
struct EcdhProviderDeleter {
  void operator()(EcdhProvider* provider) const;
};
struct EcdhPrivateKeyDeleter {
  void operator()(EcdhPrivateKey* key) const;
};
using EcdhPrivateKeyPtr = std::unique_ptr<EcdhPrivateKey, EcdhPrivateKeyDeleter>;

struct EphemeralKeyPair {
  // P-256 public point: X then Y, 32 bytes each, big-endian, no 0x04 prefix. Empty when
  // generation failed.
  std::vector<uint8_t> public_key;
  EcdhPrivateKeyPtr private_key;
};

// Everything cryptographic a session needs. Only key generation and key agreement use
// the instance's ECDH provider; the payload, MAC and random operations are static, share
// nothing between threads and may run on any number of threads at once.
class SessionCrypto {
 public:
  static constexpr size_t kSessionKeySize = 32;
  static constexpr size_t kAesKeySize = 16;
  static constexpr size_t kTagSize = 16;
  static constexpr size_t kHmacSize = 32;

  // Opens the P-256 key-agreement provider; never fails outward (see HasKeyAgreement).
  SessionCrypto();
  ~SessionCrypto();
  SessionCrypto(const SessionCrypto&) = delete;
  SessionCrypto& operator=(const SessionCrypto&) = delete;

  bool HasKeyAgreement() const { return provider_ != nullptr; }

  EphemeralKeyPair GenerateEphemeralKey() const;

  // ECDH + HKDF-SHA256 ("orvane-display-session-v1"). The peer key is 64 bytes (X||Y) or
  // 32 bytes (X only). reverse_secret = false gives the primary key (HKDF over the
  // little-endian secret), true the compatibility key (over the big-endian X).
  // Returns 32 bytes, or empty on failure.
  std::vector<uint8_t> DeriveSessionKey(const EcdhPrivateKey* private_key,
                                        std::span<const uint8_t> peer_public_key,
                                        std::span<const uint8_t> salt, bool reverse_secret) const;

  // AES-128-GCM with the first 16 key bytes and the nonce direction BE32 || counter BE64.
  // Returns ciphertext || 16-byte tag, or empty on failure.
  static std::vector<uint8_t> EncryptPayload(std::span<const uint8_t> key, uint32_t direction,
                                             uint64_t counter, std::span<const uint8_t> plaintext,
                                             std::span<const uint8_t> aad = {});
  // The same into caller memory of exactly plaintext.size() + kTagSize bytes, for the
  // media path that seals every datagram.
  static bool EncryptPayloadInto(std::span<const uint8_t> key, uint32_t direction, uint64_t counter,
                                 std::span<const uint8_t> plaintext, std::span<const uint8_t> aad,
                                 std::span<uint8_t> sealed);
  // Opens ciphertext || tag. Empty on failure; an empty plaintext is indistinguishable
  // from a failure and callers treat it as one.
  static std::vector<uint8_t> DecryptPayload(std::span<const uint8_t> key, uint32_t direction,
                                             uint64_t counter, std::span<const uint8_t> sealed,
                                             std::span<const uint8_t> aad = {});

  // HMAC-SHA256 over the label's bytes up to its NUL, then the data. Empty on failure.
  static std::vector<uint8_t> HmacSha256(std::span<const uint8_t> key, const char* label,
                                         std::span<const uint8_t> data);

  // Fills the buffer from the system's cryptographic random generator.
  static bool RandomBytes(std::span<uint8_t> buffer);

 private:
  // The raw ECDH secret in CNG's byte order (little-endian); empty on failure, after the
  // failing step's log line.
  std::vector<uint8_t> AgreeRawSecret(const EcdhPrivateKey& private_key,
                                      std::span<const uint8_t> peer_public_key) const;
  static bool SealAesGcm(std::span<const uint8_t> key, std::span<const uint8_t> nonce,
                         std::span<const uint8_t> plaintext, std::span<const uint8_t> aad,
                         std::span<uint8_t> ciphertext, std::span<uint8_t> tag);
  // The plaintext length the library reports; nullopt when the tag does not match or a
  // step failed.
  static std::optional<size_t> OpenAesGcm(std::span<const uint8_t> key,
                                          std::span<const uint8_t> nonce,
                                          std::span<const uint8_t> ciphertext,
                                          std::span<const uint8_t> tag,
                                          std::span<const uint8_t> aad,
                                          std::span<uint8_t> plaintext);

  std::unique_ptr<EcdhProvider, EcdhProviderDeleter> provider_;
};

}  // namespace orvane
