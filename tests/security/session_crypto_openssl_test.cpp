// Checks the Linux backend against OpenSSL used directly: the keys must be those CNG
// derives, HKDF over its little-endian raw secret (primary) and over the big-endian X
// coordinate (compatibility).
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "security/p256_point.h"
#include "security/session_crypto.h"

namespace orvane {
namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

std::vector<uint8_t> Coordinate(EVP_PKEY* key, const char* name) {
  BIGNUM* number = nullptr;
  EXPECT_EQ(EVP_PKEY_get_bn_param(key, name, &number), 1);
  std::vector<uint8_t> bytes(32);
  EXPECT_EQ(BN_bn2binpad(number, bytes.data(), 32), 32);
  BN_free(number);
  return bytes;
}

PkeyPtr PublicKeyFromPoint(const std::vector<uint8_t>& x_then_y, uint8_t prefix = 0x04) {
  std::vector<uint8_t> encoded = {prefix};
  encoded.insert(encoded.end(), x_then_y.begin(), x_then_y.end());
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
  EVP_PKEY* key = nullptr;
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>("P-256"), 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size()),
      OSSL_PARAM_construct_end()};
  EXPECT_EQ(EVP_PKEY_fromdata_init(context), 1);
  EXPECT_EQ(EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params), 1);
  EVP_PKEY_CTX_free(context);
  return PkeyPtr(key);
}

std::vector<uint8_t> SharedX(EVP_PKEY* own, EVP_PKEY* other) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(nullptr, own, nullptr);
  std::vector<uint8_t> secret(32);
  size_t size = secret.size();
  EXPECT_EQ(EVP_PKEY_derive_init(context), 1);
  EXPECT_EQ(EVP_PKEY_derive_set_peer(context, other), 1);
  EXPECT_EQ(EVP_PKEY_derive(context, secret.data(), &size), 1);
  EVP_PKEY_CTX_free(context);
  secret.resize(size);
  return secret;
}

std::vector<uint8_t> OpenSslHkdf(std::vector<uint8_t> ikm) {
  std::string info = "orvane-display-session-v1";
  std::vector<uint8_t> salt(32, 0);
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* context = EVP_KDF_CTX_new(kdf);
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, ikm.data(), ikm.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, salt.data(), salt.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, info.data(), info.size()),
      OSSL_PARAM_construct_end()};
  std::vector<uint8_t> key(32);
  EXPECT_EQ(EVP_KDF_derive(context, key.data(), key.size(), params), 1);
  EVP_KDF_CTX_free(context);
  EVP_KDF_free(kdf);
  return key;
}

TEST(SessionCryptoOpenSslTest, DerivesTheKeysCngDerivesFromTheSharedPoint) {
  SessionCrypto crypto;
  const EphemeralKeyPair host = crypto.GenerateEphemeralKey();
  ASSERT_EQ(host.public_key.size(), 64u);
  const PkeyPtr peer(EVP_EC_gen("P-256"));
  ASSERT_NE(peer, nullptr);
  std::vector<uint8_t> peer_public = Coordinate(peer.get(), OSSL_PKEY_PARAM_EC_PUB_X);
  const std::vector<uint8_t> peer_y = Coordinate(peer.get(), OSSL_PKEY_PARAM_EC_PUB_Y);
  peer_public.insert(peer_public.end(), peer_y.begin(), peer_y.end());

  const PkeyPtr host_public = PublicKeyFromPoint(host.public_key);
  const std::vector<uint8_t> x = SharedX(peer.get(), host_public.get());
  ASSERT_EQ(x.size(), 32u);
  const std::vector<uint8_t> little_endian(x.rbegin(), x.rend());

  EXPECT_EQ(crypto.DeriveSessionKey(host.private_key.get(), peer_public, {}, false),
            OpenSslHkdf(little_endian));
  EXPECT_EQ(crypto.DeriveSessionKey(host.private_key.get(), peer_public, {}, true), OpenSslHkdf(x));
  const std::span<const uint8_t> x_only(peer_public.data(), 32);
  EXPECT_EQ(crypto.DeriveSessionKey(host.private_key.get(), x_only, {}, false), OpenSslHkdf(x));
}

// The portable decompression that completes X-only keys for CNG gives the Y OpenSSL
// decodes from the compressed point 0x02 || X, for keys of either parity.
TEST(P256PointOpenSslTest, EvenYMatchesOpenSslDecompression) {
  for (int i = 0; i < 64; ++i) {
    const PkeyPtr key(EVP_EC_gen("P-256"));
    ASSERT_NE(key, nullptr);
    const std::vector<uint8_t> x = Coordinate(key.get(), OSSL_PKEY_PARAM_EC_PUB_X);
    const PkeyPtr compressed = PublicKeyFromPoint(x, 0x02);
    ASSERT_NE(compressed, nullptr);
    const std::vector<uint8_t> even_y = Coordinate(compressed.get(), OSSL_PKEY_PARAM_EC_PUB_Y);
    const std::optional<P256Coordinate> y = P256EvenY(std::span<const uint8_t, 32>(x.data(), 32));
    ASSERT_TRUE(y.has_value());
    EXPECT_EQ(std::vector<uint8_t>(y->begin(), y->end()), even_y);
    const std::vector<uint8_t> own_y = Coordinate(key.get(), OSSL_PKEY_PARAM_EC_PUB_Y);
    EXPECT_TRUE(IsOnP256(std::span<const uint8_t, 32>(x.data(), 32),
                         std::span<const uint8_t, 32>(own_y.data(), 32)));
  }
}

}  // namespace
}  // namespace orvane
