#include "security/session_crypto.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/logger.h"
#include "security/ecdh_secret.h"
#include "security/p256_point.h"

namespace orvane {
namespace {

// CNG names the MinGW headers do not define.
constexpr wchar_t kEcdhAlgorithm[] = L"ECDH";
constexpr wchar_t kEccCurveNameProperty[] = L"ECCCurveName";
constexpr wchar_t kCurveNistP256[] = L"nistP256";

constexpr ULONG kCoordinateSize = 32;

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

unsigned long StatusCode(NTSTATUS status) {
  return static_cast<unsigned long>(static_cast<uint32_t>(status));
}

bool FitsUlong(size_t size) {
  return size <= std::numeric_limits<ULONG>::max();
}

PUCHAR Bytes(std::span<const uint8_t> bytes) {
  return const_cast<PUCHAR>(bytes.data());
}

// An empty payload is valid for GCM; CNG still gets a real address for it.
PUCHAR BufferOrPlaceholder(std::span<const uint8_t> bytes) {
  static uint8_t placeholder = 0;
  return bytes.empty() ? &placeholder : Bytes(bytes);
}

// Opening a provider costs far more than sealing a datagram, so each one is opened once
// and kept for the life of the process (CNG lets threads share an algorithm handle).
// Null when it cannot be opened.
BCRYPT_ALG_HANDLE AesGcmProvider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
      return BCRYPT_ALG_HANDLE{nullptr};
    }
    if (!Succeeded(
            BCryptSetProperty(handle, BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                              sizeof(BCRYPT_CHAIN_MODE_GCM), 0))) {
      BCryptCloseAlgorithmProvider(handle, 0);
      return BCRYPT_ALG_HANDLE{nullptr};
    }
    return handle;
  }();
  return provider;
}

BCRYPT_ALG_HANDLE HmacSha256Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr,
                                               BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
      return BCRYPT_ALG_HANDLE{nullptr};
    }
    return handle;
  }();
  return provider;
}

// The AES-GCM key object of one call, destroyed when the call ends. It is not kept in a
// thread_local: with mingw-w64 the destructors of thread-local objects can run after the
// thread's emulated TLS storage has been freed, which corrupts the heap when the thread
// exits.
class AesGcmKey {
 public:
  explicit AesGcmKey(std::span<const uint8_t> key) {
    const BCRYPT_ALG_HANDLE provider = AesGcmProvider();
    if (provider == nullptr || !FitsUlong(key.size()) ||
        !Succeeded(BCryptGenerateSymmetricKey(provider, &handle_, nullptr, 0, Bytes(key),
                                              static_cast<ULONG>(key.size()), 0))) {
      handle_ = nullptr;
    }
  }
  ~AesGcmKey() {
    if (handle_ != nullptr) {
      BCryptDestroyKey(handle_);
    }
  }
  AesGcmKey(const AesGcmKey&) = delete;
  AesGcmKey& operator=(const AesGcmKey&) = delete;

  // Null when the key object could not be made.
  BCRYPT_KEY_HANDLE handle() const { return handle_; }

 private:
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO AuthInfo(std::span<const uint8_t> nonce,
                                               std::span<const uint8_t> aad, PUCHAR tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = Bytes(nonce);
  info.cbNonce = static_cast<ULONG>(nonce.size());
  info.pbTag = tag;
  info.cbTag = static_cast<ULONG>(SessionCrypto::kTagSize);
  if (!aad.empty()) {
    info.pbAuthData = Bytes(aad);
    info.cbAuthData = static_cast<ULONG>(aad.size());
  }
  return info;
}

// The peer key as X || Y on the curve: a P-256 key blob carries both coordinates, so an X
// given alone is completed with its even Y (either Y gives the same shared X). Checked here
// rather than trusted to the provider, so that no point off the curve takes part in an
// agreement. Nullopt when there is no such point.
std::optional<std::vector<uint8_t>> PeerPoint(std::span<const uint8_t> peer_public_key,
                                              PeerKeyForm form) {
  const std::span<const uint8_t, kCoordinateSize> x = peer_public_key.first<kCoordinateSize>();
  std::vector<uint8_t> point(x.begin(), x.end());
  if (form == PeerKeyForm::kXOnly) {
    const std::optional<P256Coordinate> y = P256EvenY(x);
    if (!y) {
      return std::nullopt;
    }
    point.insert(point.end(), y->begin(), y->end());
    return point;
  }
  const std::span<const uint8_t, kCoordinateSize> y =
      peer_public_key.subspan<kCoordinateSize, kCoordinateSize>();
  if (!IsOnP256(x, y)) {
    return std::nullopt;
  }
  point.insert(point.end(), y.begin(), y.end());
  return point;
}

}  // namespace

class EcdhProvider {
 public:
  EcdhProvider(BCRYPT_ALG_HANDLE algorithm, ULONG bits) : handle(algorithm), key_bits(bits) {}
  ~EcdhProvider() { BCryptCloseAlgorithmProvider(handle, 0); }
  const BCRYPT_ALG_HANDLE handle;
  // The key length BCryptGenerateKeyPair is given: 0 where the curve property implies it.
  const ULONG key_bits;
};

class EcdhPrivateKey {
 public:
  explicit EcdhPrivateKey(BCRYPT_KEY_HANDLE key) : handle(key) {}
  ~EcdhPrivateKey() { BCryptDestroyKey(handle); }
  const BCRYPT_KEY_HANDLE handle;
};

void EcdhProviderDeleter::operator()(EcdhProvider* provider) const {
  delete provider;
}

void EcdhPrivateKeyDeleter::operator()(EcdhPrivateKey* key) const {
  delete key;
}

SessionCrypto::SessionCrypto() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, kEcdhAlgorithm, nullptr, 0);
  if (!Succeeded(status)) {
    // Systems before Windows 10 (and Wine) have only the provider fixed to P-256.
    if (Succeeded(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDH_P256_ALGORITHM, nullptr, 0))) {
      provider_.reset(new EcdhProvider(algorithm, 256));
      LOG_INFO("[Crypto] ECDH curve set to P-256");
      return;
    }
    LOG_ERROR("[Crypto] BCryptOpenAlgorithmProvider(ECDH) failed: 0x%08lX", StatusCode(status));
    return;
  }
  status = BCryptSetProperty(algorithm, kEccCurveNameProperty,
                             reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(kCurveNistP256)),
                             sizeof(kCurveNistP256), 0);
  if (!Succeeded(status)) {
    LOG_ERROR("[Crypto] Failed to set ECDH curve to P-256: 0x%08lX", StatusCode(status));
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return;
  }
  provider_.reset(new EcdhProvider(algorithm, 0));
  LOG_INFO("[Crypto] ECDH curve set to P-256");
}

EphemeralKeyPair SessionCrypto::GenerateEphemeralKey() const {
  EphemeralKeyPair pair;
  if (!provider_) {
    return pair;
  }
  BCRYPT_KEY_HANDLE key = nullptr;
  const NTSTATUS status = BCryptGenerateKeyPair(provider_->handle, &key, provider_->key_bits, 0);
  if (!Succeeded(status)) {
    LOG_ERROR("[Crypto] BCryptGenerateKeyPair failed: 0x%08lX", StatusCode(status));
    return pair;
  }
  if (!Succeeded(BCryptFinalizeKeyPair(key, 0))) {
    BCryptDestroyKey(key);
    return pair;
  }
  ULONG size = 0;
  if (Succeeded(BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, nullptr, 0, &size, 0))) {
    std::vector<uint8_t> blob(size);
    if (Succeeded(
            BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob.data(), size, &size, 0)) &&
        size > sizeof(BCRYPT_ECCKEY_BLOB) && size <= blob.size()) {
      pair.public_key.assign(blob.begin() + sizeof(BCRYPT_ECCKEY_BLOB), blob.begin() + size);
    }
  }
  pair.private_key.reset(new EcdhPrivateKey(key));
  LOG_INFO("[Crypto] Generated ephemeral key pair (pub=%zu bytes)", pair.public_key.size());
  return pair;
}

std::vector<uint8_t> SessionCrypto::AgreeRawSecret(const EcdhPrivateKey& private_key,
                                                   std::span<const uint8_t> peer_public_key) const {
  const std::optional<std::vector<uint8_t>> point =
      PeerPoint(peer_public_key, *PeerKeyFormForSize(peer_public_key.size()));
  if (!point) {
    LOG_ERROR_COLLAPSED(
        "[Crypto] Import peer public key failed: 0x%08lX",
        StatusCode(static_cast<NTSTATUS>(0xC000000DL)));  // STATUS_INVALID_PARAMETER
    return {};
  }
  const BCRYPT_ECCKEY_BLOB header{static_cast<ULONG>(BCRYPT_ECDH_PUBLIC_P256_MAGIC),
                                  kCoordinateSize};
  std::vector<uint8_t> blob(sizeof(header) + point->size());
  std::memcpy(blob.data(), &header, sizeof(header));
  std::memcpy(blob.data() + sizeof(header), point->data(), point->size());

  BCRYPT_KEY_HANDLE peer = nullptr;
  NTSTATUS status = BCryptImportKeyPair(provider_->handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &peer,
                                        blob.data(), static_cast<ULONG>(blob.size()), 0);
  if (!Succeeded(status)) {
    LOG_ERROR_COLLAPSED("[Crypto] Import peer public key failed: 0x%08lX", StatusCode(status));
    return {};
  }
  BCRYPT_SECRET_HANDLE secret = nullptr;
  status = BCryptSecretAgreement(private_key.handle, peer, &secret, 0);
  BCryptDestroyKey(peer);
  if (!Succeeded(status)) {
    LOG_ERROR_COLLAPSED("[Crypto] BCryptSecretAgreement failed: 0x%08lX", StatusCode(status));
    return {};
  }
  ULONG size = 0;
  status = BCryptDeriveKey(secret, BCRYPT_KDF_RAW_SECRET, nullptr, nullptr, 0, &size, 0);
  if (!Succeeded(status) || size == 0) {
    BCryptDestroySecret(secret);
    LOG_ERROR_COLLAPSED("[Crypto] RAW_SECRET query failed: 0x%08lX", StatusCode(status));
    return {};
  }
  std::vector<uint8_t> raw(size);
  status = BCryptDeriveKey(secret, BCRYPT_KDF_RAW_SECRET, nullptr, raw.data(), size, &size, 0);
  BCryptDestroySecret(secret);
  if (!Succeeded(status)) {
    LOG_ERROR_COLLAPSED("[Crypto] BCryptDeriveKey(RAW_SECRET) failed: 0x%08lX", StatusCode(status));
    return {};
  }
  raw.resize(std::min<size_t>(size, raw.size()));
  return raw;
}

bool SessionCrypto::SealAesGcm(std::span<const uint8_t> key, std::span<const uint8_t> nonce,
                               std::span<const uint8_t> plaintext, std::span<const uint8_t> aad,
                               std::span<uint8_t> ciphertext, std::span<uint8_t> tag) {
  if (!FitsUlong(plaintext.size()) || !FitsUlong(aad.size())) {
    return false;
  }
  const AesGcmKey sealing(key);
  const BCRYPT_KEY_HANDLE handle = sealing.handle();
  if (handle == nullptr) {
    return false;
  }
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = AuthInfo(nonce, aad, tag.data());
  ULONG written = 0;
  if (!Succeeded(BCryptEncrypt(handle, BufferOrPlaceholder(plaintext),
                               static_cast<ULONG>(plaintext.size()), &info, nullptr, 0,
                               BufferOrPlaceholder(ciphertext),
                               static_cast<ULONG>(ciphertext.size()), &written, 0))) {
    return false;
  }
  return true;
}

std::optional<size_t> SessionCrypto::OpenAesGcm(std::span<const uint8_t> key,
                                                std::span<const uint8_t> nonce,
                                                std::span<const uint8_t> ciphertext,
                                                std::span<const uint8_t> tag,
                                                std::span<const uint8_t> aad,
                                                std::span<uint8_t> plaintext) {
  if (!FitsUlong(ciphertext.size()) || !FitsUlong(aad.size())) {
    return std::nullopt;
  }
  const AesGcmKey opening(key);
  const BCRYPT_KEY_HANDLE handle = opening.handle();
  if (handle == nullptr) {
    return std::nullopt;
  }
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = AuthInfo(nonce, aad, Bytes(tag));
  ULONG written = 0;
  if (!Succeeded(BCryptDecrypt(handle, BufferOrPlaceholder(ciphertext),
                               static_cast<ULONG>(ciphertext.size()), &info, nullptr, 0,
                               BufferOrPlaceholder(plaintext), static_cast<ULONG>(plaintext.size()),
                               &written, 0))) {
    return std::nullopt;
  }
  return static_cast<size_t>(written);
}

std::vector<uint8_t> SessionCrypto::HmacSha256(std::span<const uint8_t> key, const char* label,
                                               std::span<const uint8_t> data) {
  const size_t label_size = label != nullptr ? std::strlen(label) : 0;
  if (!FitsUlong(key.size()) || !FitsUlong(label_size) || !FitsUlong(data.size())) {
    return {};
  }
  const BCRYPT_ALG_HANDLE algorithm = HmacSha256Provider();
  if (algorithm == nullptr) {
    return {};
  }
  std::vector<uint8_t> mac(kHmacSize);
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool made = Succeeded(BCryptCreateHash(algorithm, &hash, nullptr, 0, Bytes(key),
                                         static_cast<ULONG>(key.size()), 0));
  if (made) {
    made = Succeeded(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(label)),
                                    static_cast<ULONG>(label_size), 0)) &&
           Succeeded(BCryptHashData(hash, Bytes(data), static_cast<ULONG>(data.size()), 0)) &&
           Succeeded(BCryptFinishHash(hash, mac.data(), static_cast<ULONG>(mac.size()), 0));
    BCryptDestroyHash(hash);
  }
  if (!made) {
    return {};
  }
  return mac;
}

bool SessionCrypto::RandomBytes(std::span<uint8_t> buffer) {
  return FitsUlong(buffer.size()) &&
         Succeeded(BCryptGenRandom(nullptr, buffer.data(), static_cast<ULONG>(buffer.size()),
                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace orvane
