#include "security/session_crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "base/logger.h"
#include "base/status.h"
#include "security/ecdh_secret.h"

namespace orvane {
namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyCtxFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct MacCtxFree {
  void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};
struct BignumFree {
  void operator()(BIGNUM* number) const { BN_free(number); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
using MacCtxPtr = std::unique_ptr<EVP_MAC_CTX, MacCtxFree>;
using BignumPtr = std::unique_ptr<BIGNUM, BignumFree>;

constexpr char kCurveName[] = "P-256";
constexpr size_t kCoordinateSize = 32;

// The most recent error OpenSSL queued on this thread, which empties the queue so that
// it cannot be blamed on a later call; E_FAIL when OpenSSL queued none.
unsigned long TakeOpenSslError() {
  const unsigned long error = ERR_peek_last_error();
  ERR_clear_error();
  return error != 0 ? error : kHresultFail;
}

bool AppendCoordinate(const EVP_PKEY* key, const char* name, std::vector<uint8_t>& out) {
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(key, name, &raw) <= 0) {
    return false;
  }
  const BignumPtr number(raw);
  std::array<uint8_t, kCoordinateSize> bytes{};
  if (BN_bn2binpad(number.get(), bytes.data(), static_cast<int>(bytes.size())) < 0) {
    return false;
  }
  out.insert(out.end(), bytes.begin(), bytes.end());
  return true;
}

// A 64-byte key is the uncompressed point; a 32-byte key is taken as a compressed point
// with an even Y, which gives the same shared X coordinate as the odd one.
PkeyPtr ImportPeerKey(std::span<const uint8_t> peer_public_key, PeerKeyForm form) {
  std::vector<uint8_t> encoded;
  encoded.reserve(peer_public_key.size() + 1);
  encoded.push_back(form == PeerKeyForm::kPoint ? 0x04 : 0x02);
  encoded.insert(encoded.end(), peer_public_key.begin(), peer_public_key.end());

  const PkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!context || EVP_PKEY_fromdata_init(context.get()) <= 0) {
    return nullptr;
  }
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(kCurveName),
                                       0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size()),
      OSSL_PARAM_construct_end()};
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) <= 0) {
    return nullptr;
  }
  return PkeyPtr(key);
}

const EVP_CIPHER* Aes128Gcm() {
  // Fetched once: the implicit fetch behind EVP_aes_128_gcm() costs more than sealing a
  // datagram.
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
  return cipher;
}

// One cipher context per thread and use (sealing or opening). It keeps its key schedule
// while the key stays the same, as it does for every datagram of a stream; a new nonce is
// then all that is set per call.
class GcmContext {
 public:
  explicit GcmContext(bool encrypt) : encrypt_(encrypt ? 1 : 0) {}
  ~GcmContext() {
    EVP_CIPHER_CTX_free(context_);
    OPENSSL_cleanse(key_.data(), key_.size());
  }
  GcmContext(const GcmContext&) = delete;
  GcmContext& operator=(const GcmContext&) = delete;

  EVP_CIPHER_CTX* Begin(std::span<const uint8_t> key, std::span<const uint8_t> nonce) {
    if (context_ == nullptr && (context_ = EVP_CIPHER_CTX_new()) == nullptr) {
      return nullptr;
    }
    const bool same_key = keyed_ && CRYPTO_memcmp(key.data(), key_.data(), key_.size()) == 0;
    keyed_ = false;
    const int started =
        same_key ? EVP_CipherInit_ex2(context_, nullptr, nullptr, nonce.data(), encrypt_, nullptr)
                 : EVP_CipherInit_ex2(context_, Aes128Gcm(), key.data(), nonce.data(), encrypt_,
                                      nullptr);
    if (started <= 0) {
      return nullptr;
    }
    std::copy(key.begin(), key.end(), key_.begin());
    keyed_ = true;
    return context_;
  }

  // After a failed step the context is keyed afresh on its next use.
  void Fail() {
    keyed_ = false;
    ERR_clear_error();
  }

 private:
  const int encrypt_;
  EVP_CIPHER_CTX* context_ = nullptr;
  std::array<uint8_t, SessionCrypto::kAesKeySize> key_{};
  bool keyed_ = false;
};

bool FitsInt(size_t size) {
  return size <= static_cast<size_t>(INT_MAX);
}

}  // namespace

class EcdhProvider {
 public:
  explicit EcdhProvider(EVP_PKEY_CTX* context) : keygen(context) {}
  PkeyCtxPtr keygen;
};

class EcdhPrivateKey {
 public:
  explicit EcdhPrivateKey(EVP_PKEY* owned) : key(owned) {}
  PkeyPtr key;
};

void EcdhProviderDeleter::operator()(EcdhProvider* provider) const {
  delete provider;
}

void EcdhPrivateKeyDeleter::operator()(EcdhPrivateKey* key) const {
  delete key;
}

SessionCrypto::SessionCrypto() {
  PkeyCtxPtr keygen(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!keygen) {
    LOG_ERROR("[Crypto] EVP_PKEY_CTX_new_from_name(EC) failed: 0x%08lX", TakeOpenSslError());
    return;
  }
  if (EVP_PKEY_keygen_init(keygen.get()) <= 0 ||
      EVP_PKEY_CTX_set_group_name(keygen.get(), kCurveName) <= 0) {
    LOG_ERROR("[Crypto] Failed to set ECDH curve to P-256: 0x%08lX", TakeOpenSslError());
    return;
  }
  provider_.reset(new EcdhProvider(keygen.release()));
  LOG_INFO("[Crypto] ECDH curve set to P-256");
}

EphemeralKeyPair SessionCrypto::GenerateEphemeralKey() const {
  EphemeralKeyPair pair;
  if (!provider_) {
    return pair;
  }
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_generate(provider_->keygen.get(), &key) <= 0) {
    LOG_ERROR("[Crypto] EVP_PKEY_generate failed: 0x%08lX", TakeOpenSslError());
    return pair;
  }
  pair.private_key.reset(new EcdhPrivateKey(key));
  if (!AppendCoordinate(key, OSSL_PKEY_PARAM_EC_PUB_X, pair.public_key) ||
      !AppendCoordinate(key, OSSL_PKEY_PARAM_EC_PUB_Y, pair.public_key)) {
    ERR_clear_error();
    pair.public_key.clear();
  }
  LOG_INFO("[Crypto] Generated ephemeral key pair (pub=%zu bytes)", pair.public_key.size());
  return pair;
}

std::vector<uint8_t> SessionCrypto::AgreeRawSecret(const EcdhPrivateKey& private_key,
                                                   std::span<const uint8_t> peer_public_key) const {
  const PkeyPtr peer = ImportPeerKey(peer_public_key, *PeerKeyFormForSize(peer_public_key.size()));
  if (!peer) {
    LOG_ERROR_COLLAPSED("[Crypto] Import peer public key failed: 0x%08lX", TakeOpenSslError());
    return {};
  }
  const PkeyCtxPtr agreement(EVP_PKEY_CTX_new_from_pkey(nullptr, private_key.key.get(), nullptr));
  if (!agreement || EVP_PKEY_derive_init(agreement.get()) <= 0 ||
      EVP_PKEY_derive_set_peer(agreement.get(), peer.get()) <= 0) {
    LOG_ERROR_COLLAPSED("[Crypto] EVP_PKEY_derive_set_peer failed: 0x%08lX", TakeOpenSslError());
    return {};
  }
  size_t size = 0;
  if (EVP_PKEY_derive(agreement.get(), nullptr, &size) <= 0 || size == 0) {
    LOG_ERROR_COLLAPSED("[Crypto] RAW_SECRET query failed: 0x%08lX", TakeOpenSslError());
    return {};
  }
  std::vector<uint8_t> secret(size);
  if (EVP_PKEY_derive(agreement.get(), secret.data(), &size) <= 0) {
    LOG_ERROR_COLLAPSED("[Crypto] EVP_PKEY_derive(RAW_SECRET) failed: 0x%08lX", TakeOpenSslError());
    return {};
  }
  secret.resize(size);
  // OpenSSL yields the big-endian X coordinate; the keys of both platforms are defined on
  // CNG's little-endian raw secret.
  std::reverse(secret.begin(), secret.end());
  return secret;
}

bool SessionCrypto::SealAesGcm(std::span<const uint8_t> key, std::span<const uint8_t> nonce,
                               std::span<const uint8_t> plaintext, std::span<const uint8_t> aad,
                               std::span<uint8_t> ciphertext, std::span<uint8_t> tag) {
  if (key.size() != kAesKeySize || !FitsInt(plaintext.size()) || !FitsInt(aad.size())) {
    return false;
  }
  thread_local GcmContext sealing(true);
  EVP_CIPHER_CTX* context = sealing.Begin(key, nonce);
  if (context == nullptr) {
    sealing.Fail();
    return false;
  }
  int written = 0;
  int final_size = 0;
  const bool sealed = (aad.empty() || EVP_EncryptUpdate(context, nullptr, &written, aad.data(),
                                                        static_cast<int>(aad.size())) > 0) &&
                      (plaintext.empty() ||
                       EVP_EncryptUpdate(context, ciphertext.data(), &written, plaintext.data(),
                                         static_cast<int>(plaintext.size())) > 0) &&
                      EVP_EncryptFinal_ex(context, ciphertext.data() + written, &final_size) > 0 &&
                      EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG,
                                          static_cast<int>(tag.size()), tag.data()) > 0;
  if (!sealed) {
    sealing.Fail();
  }
  return sealed;
}

std::optional<size_t> SessionCrypto::OpenAesGcm(std::span<const uint8_t> key,
                                                std::span<const uint8_t> nonce,
                                                std::span<const uint8_t> ciphertext,
                                                std::span<const uint8_t> tag,
                                                std::span<const uint8_t> aad,
                                                std::span<uint8_t> plaintext) {
  if (key.size() != kAesKeySize || !FitsInt(ciphertext.size()) || !FitsInt(aad.size())) {
    return std::nullopt;
  }
  thread_local GcmContext opening(false);
  EVP_CIPHER_CTX* context = opening.Begin(key, nonce);
  if (context == nullptr) {
    opening.Fail();
    return std::nullopt;
  }
  int written = 0;
  int final_size = 0;
  const bool opened =
      (aad.empty() || EVP_DecryptUpdate(context, nullptr, &written, aad.data(),
                                        static_cast<int>(aad.size())) > 0) &&
      (ciphertext.empty() ||
       EVP_DecryptUpdate(context, plaintext.data(), &written, ciphertext.data(),
                         static_cast<int>(ciphertext.size())) > 0) &&
      EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_TAG, static_cast<int>(tag.size()),
                          const_cast<uint8_t*>(tag.data())) > 0 &&
      EVP_DecryptFinal_ex(context, plaintext.data() + written, &final_size) > 0;
  if (!opened) {
    opening.Fail();
    return std::nullopt;
  }
  return static_cast<size_t>(written + final_size);
}

std::vector<uint8_t> SessionCrypto::HmacSha256(std::span<const uint8_t> key, const char* label,
                                               std::span<const uint8_t> data) {
  static EVP_MAC* const hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (hmac == nullptr) {
    return {};
  }
  const MacCtxPtr context(EVP_MAC_CTX_new(hmac));
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>("SHA256"), 0),
      OSSL_PARAM_construct_end()};
  // OpenSSL takes a null key pointer as "no key"; an empty key is a valid HMAC key.
  static const uint8_t kNoKeyBytes = 0;
  const uint8_t* key_bytes = key.empty() ? &kNoKeyBytes : key.data();
  const size_t label_size = label != nullptr ? std::strlen(label) : 0;
  std::vector<uint8_t> mac(kHmacSize);
  size_t mac_size = 0;
  const bool made =
      context && EVP_MAC_init(context.get(), key_bytes, key.size(), params) > 0 &&
      (label_size == 0 ||
       EVP_MAC_update(context.get(), reinterpret_cast<const uint8_t*>(label), label_size) > 0) &&
      (data.empty() || EVP_MAC_update(context.get(), data.data(), data.size()) > 0) &&
      EVP_MAC_final(context.get(), mac.data(), &mac_size, mac.size()) > 0 && mac_size == kHmacSize;
  if (!made) {
    ERR_clear_error();
    return {};
  }
  return mac;
}

bool SessionCrypto::RandomBytes(std::span<uint8_t> buffer) {
  if (buffer.empty()) {
    return true;
  }
  if (!FitsInt(buffer.size()) || RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1) {
    ERR_clear_error();
    return false;
  }
  return true;
}

}  // namespace orvane
