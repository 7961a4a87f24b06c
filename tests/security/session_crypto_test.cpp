#include "security/session_crypto.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "security/ecdh_secret.h"
#include "security/gcm_nonce.h"
#include "security/hex_bytes.h"
#include "security/hkdf.h"
#include "security/key_fingerprint.h"
#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::Bytes;
using testing::FromHex;
using testing::LogCapture;

TEST(HmacSha256Test, HashesLabelBeforeData) {
  // RFC 4231 test case 2, its message split between label and data at several points.
  const std::vector<uint8_t> expected =
      FromHex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  const std::string message = "what do ya want for nothing?";
  for (const size_t split : {size_t{0}, size_t{11}, message.size()}) {
    const std::string label = message.substr(0, split);
    EXPECT_EQ(SessionCrypto::HmacSha256(Bytes("Jefe"), label.c_str(), Bytes(message.substr(split))),
              expected)
        << "label=\"" << label << "\"";
  }
}

TEST(HkdfSha256Test, MatchesRfc5869) {
  const std::vector<uint8_t> ikm(22, 0x0b);
  struct Case {
    const char* name;
    std::vector<uint8_t> salt;
    std::vector<uint8_t> info;
    const char* okm;
  };
  const Case cases[] = {
      {"test case 1", FromHex("000102030405060708090a0b0c"), FromHex("f0f1f2f3f4f5f6f7f8f9"),
       "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
      {"test case 3, empty salt",
       {},
       {},
       "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
      {"32 zero bytes of salt, as an empty salt stands for",
       std::vector<uint8_t>(32, 0),
       {},
       "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HkdfSha256(ikm, c.salt, c.info, 42), FromHex(c.okm)) << c.name;
  }
}

// Test cases 3 and 4 of the published GCM test vectors; their IV cafebabe facedbaddecaf888 is the
// nonce of direction 0xCAFEBABE and counter 0xFACEDBADDECAF888.
TEST(AesGcmTest, MatchesKnownVectorsWithDirectionAndCounterNonce) {
  const std::vector<uint8_t> key = FromHex("feffe9928665731c6d6a8f9467308308");
  const std::vector<uint8_t> plaintext = FromHex(
      "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
      "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b391aafd255");
  const std::vector<uint8_t> ciphertext = FromHex(
      "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e"
      "21d514b25466931c7d8f6a5aac84aa051ba30b396a0aac973d58e091473f5985");
  struct Case {
    size_t length;
    std::vector<uint8_t> aad;
    const char* tag;
  };
  const Case cases[] = {
      {64, {}, "4d5c2af327cd64a62cf35abd2ba6fab4"},
      {60, FromHex("feedfacedeadbeeffeedfacedeadbeefabaddad2"), "5bc94fbc3221a5db94fae95ae7121a47"},
  };
  // The last 16 bytes of a 32-byte session key are not used.
  std::vector<uint8_t> session_key = key;
  session_key.resize(32, 0xEE);
  for (const Case& c : cases) {
    const std::span<const uint8_t> input(plaintext.data(), c.length);
    std::vector<uint8_t> sealed(ciphertext.begin(), ciphertext.begin() + c.length);
    const std::vector<uint8_t> tag = FromHex(c.tag);
    sealed.insert(sealed.end(), tag.begin(), tag.end());

    EXPECT_EQ(
        SessionCrypto::EncryptPayload(session_key, 0xCAFEBABE, 0xFACEDBADDECAF888, input, c.aad),
        sealed)
        << c.length;
    EXPECT_EQ(
        SessionCrypto::DecryptPayload(session_key, 0xCAFEBABE, 0xFACEDBADDECAF888, sealed, c.aad),
        std::vector<uint8_t>(input.begin(), input.end()))
        << c.length;
  }
}

TEST(AesGcmTest, OpensOnlyWithTheSameKeyDirectionCounterAndBytes) {
  const std::vector<uint8_t> key(32, 0x42);
  const std::vector<uint8_t> plaintext = Bytes("input datagram");
  const std::vector<uint8_t> sealed = SessionCrypto::EncryptPayload(key, 3, 7, plaintext);
  ASSERT_EQ(sealed.size(), plaintext.size() + SessionCrypto::kTagSize);

  std::vector<uint8_t> other_key = key;
  other_key[15] ^= 1;
  std::vector<uint8_t> altered_body = sealed;
  altered_body[0] ^= 1;
  std::vector<uint8_t> altered_tag = sealed;
  altered_tag.back() ^= 1;
  struct Case {
    const char* name;
    std::vector<uint8_t> key;
    uint32_t direction;
    uint64_t counter;
    std::vector<uint8_t> sealed;
  };
  const Case cases[] = {
      {"other key", other_key, 3, 7, sealed},
      {"other direction", key, 1, 7, sealed},
      {"other counter", key, 3, 8, sealed},
      {"altered ciphertext", key, 3, 7, altered_body},
      {"altered tag", key, 3, 7, altered_tag},
      {"shorter than a tag", key, 3, 7, {sealed.begin(), sealed.begin() + 15}},
      {"key of 8 bytes", {key.begin(), key.begin() + 8}, 3, 7, sealed},
      {"no key", {}, 3, 7, sealed},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SessionCrypto::DecryptPayload(c.key, c.direction, c.counter, c.sealed).empty())
        << c.name;
  }
  EXPECT_TRUE(
      SessionCrypto::EncryptPayload({key.begin(), key.begin() + 8}, 3, 7, plaintext).empty());
  EXPECT_TRUE(SessionCrypto::EncryptPayload({}, 3, 7, plaintext).empty());
  // Failures leave nothing behind that would spoil the next call.
  EXPECT_EQ(SessionCrypto::DecryptPayload(key, 3, 7, sealed), plaintext);
}

TEST(AesGcmTest, SealsAndOpensOnManyThreadsAtOnce) {
  // Each thread alternates between two keys of its own, so any state shared between
  // threads or kept from the previous key shows up as a wrong result.
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  std::vector<std::vector<uint8_t>> keys;
  for (int i = 0; i < kThreads * 2; ++i) {
    keys.emplace_back(16, static_cast<uint8_t>(i + 1));
  }
  const std::vector<uint8_t> plaintext(1200, 0x5A);
  std::vector<std::vector<uint8_t>> expected;
  for (const auto& key : keys) {
    expected.push_back(SessionCrypto::EncryptPayload(key, 2, 99, plaintext));
  }
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const size_t k = static_cast<size_t>(t * 2 + round % 2);
        const std::vector<uint8_t> sealed =
            SessionCrypto::EncryptPayload(keys[k], 2, 99, plaintext);
        if (sealed != expected[k] ||
            SessionCrypto::DecryptPayload(keys[k], 2, 99, sealed) != plaintext) {
          ++failures[static_cast<size_t>(t)];
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
}

TEST(GcmNonceTest, IsDirectionThenCounterBigEndian) {
  const auto nonce = GcmNonce(2, 0x0102030405060708ull);
  EXPECT_EQ(std::vector<uint8_t>(nonce.begin(), nonce.end()), FromHex("000000020102030405060708"));
}

TEST(KeyFingerprintTest, PrintsFnv1aAndHexPrefixes) {
  EXPECT_EQ(KeyFingerprint({}), "811C9DC5");
  EXPECT_EQ(KeyFingerprint(Bytes("a")), "E40C292C");
  EXPECT_EQ(KeyFingerprint(Bytes("foobar")), "BF9CF968");

  const std::vector<uint8_t> bytes = FromHex("00ab0f10ff0102030405060708090a0b");
  struct Case {
    std::vector<uint8_t> bytes;
    size_t count;
    const char* text;
  };
  const Case cases[] = {
      {{}, 4, "none"},
      {bytes, 0, "none"},
      {bytes, 4, "00AB0F10"},
      {{bytes.begin(), bytes.begin() + 2}, 4, "00AB"},
      {bytes, 16, "00AB0F10FF01020304050607"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexPrefix(c.bytes, c.count), c.text) << c.count;
  }
}

TEST(SharedSecretTest, ShapesTheRawSecretPerPeerKeyForm) {
  std::vector<uint8_t> raw(32);
  for (size_t i = 0; i < raw.size(); ++i) {
    raw[i] = static_cast<uint8_t>(i + 1);
  }
  const std::vector<uint8_t> reversed(raw.rbegin(), raw.rend());
  std::vector<uint8_t> padded(1, 0);
  padded.insert(padded.end(), raw.begin() + 1, raw.end());
  std::vector<uint8_t> longer(1, 0xAA);
  longer.insert(longer.end(), raw.begin(), raw.end());
  struct Case {
    const char* name;
    std::vector<uint8_t> raw;
    PeerKeyForm form;
    bool reverse;
    std::vector<uint8_t> shaped;
  };
  const Case cases[] = {
      {"point, as given", raw, PeerKeyForm::kPoint, false, raw},
      {"point, reversed", raw, PeerKeyForm::kPoint, true, reversed},
      {"point, short secret padded in front",
       {raw.begin() + 1, raw.end()},
       PeerKeyForm::kPoint,
       false,
       padded},
      {"point, long secret keeps its last 32", longer, PeerKeyForm::kPoint, false, raw},
      {"x only, reversed whatever is asked", raw, PeerKeyForm::kXOnly, false, reversed},
      {"x only, not resized", longer, PeerKeyForm::kXOnly, true, {longer.rbegin(), longer.rend()}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShapeSharedSecret(c.raw, c.form, c.reverse), c.shaped) << c.name;
  }
}

// Wine's CNG may lack the generic ECDH provider or the TRUNCATE raw-secret function; the
// key-agreement tests then skip and name it. Anywhere else such a failure is a failure.
std::string MissingCngFeature(const LogCapture& log) {
#ifdef _WIN32
  if (log.Contains("BCryptOpenAlgorithmProvider(ECDH) failed")) {
    return "the generic \"ECDH\" algorithm provider";
  }
  if (log.Contains("Failed to set ECDH curve")) {
    return "the ECCCurveName property nistP256";
  }
  if (log.Contains("BCryptGenerateKeyPair failed")) {
    return "ECDH key generation";
  }
  if (log.Contains("BCryptSecretAgreement failed")) {
    return "BCryptSecretAgreement";
  }
  if (log.Contains("RAW_SECRET")) {
    return "the TRUNCATE raw-secret key derivation";
  }
#else
  (void)log;
#endif
  return {};
}

class KeyAgreementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogCapture log;
    crypto_ = std::make_unique<SessionCrypto>();
    host_ = crypto_->GenerateEphemeralKey();
    peer_ = crypto_->GenerateEphemeralKey();
    const bool derived = !Derive(host_, peer_.public_key, false).empty();
    if (const std::string missing = MissingCngFeature(log); !missing.empty()) {
      GTEST_SKIP() << "CNG here lacks " << missing;
    }
    ASSERT_TRUE(crypto_->HasKeyAgreement());
    ASSERT_EQ(host_.public_key.size(), 64u);
    ASSERT_EQ(peer_.public_key.size(), 64u);
    EXPECT_EQ(log.Count("[Crypto] Generated ephemeral key pair (pub=64 bytes)"), 2u);
    ASSERT_TRUE(derived);
  }

  std::vector<uint8_t> Derive(const EphemeralKeyPair& own, std::span<const uint8_t> other,
                              bool reverse_secret) const {
    return crypto_->DeriveSessionKey(own.private_key.get(), other, {}, reverse_secret);
  }

  std::unique_ptr<SessionCrypto> crypto_;
  EphemeralKeyPair host_;
  EphemeralKeyPair peer_;
};

TEST_F(KeyAgreementTest, BothEndsDeriveTheSamePrimaryAndCompatibilityKeys) {
  LogCapture log;
  const std::vector<uint8_t> primary = Derive(host_, peer_.public_key, false);
  const std::vector<uint8_t> compatibility = Derive(host_, peer_.public_key, true);
  ASSERT_EQ(primary.size(), 32u);
  ASSERT_EQ(compatibility.size(), 32u);
  EXPECT_NE(primary, compatibility);
  EXPECT_EQ(Derive(peer_, host_.public_key, false), primary);
  EXPECT_EQ(Derive(peer_, host_.public_key, true), compatibility);
  EXPECT_EQ(Derive(host_, peer_.public_key, false), primary);
  EXPECT_TRUE(log.Contains(
      "[Crypto] Session key derived via ECDH + HKDF-SHA256 (32 bytes, raw=32, p256_reverse=0)"));
  EXPECT_TRUE(log.Contains(
      "[Crypto] Session key derived via ECDH + HKDF-SHA256 (32 bytes, raw=32, p256_reverse=1)"));
}

TEST_F(KeyAgreementTest, XOnlyPeerKeyDerivesTheCompatibilityKeyEitherWay) {
  LogCapture log;
  const std::vector<uint8_t> compatibility = Derive(host_, peer_.public_key, true);
  const std::span<const uint8_t> x_only(peer_.public_key.data(), 32);
  const std::vector<uint8_t> primary = Derive(host_, x_only, false);
  EXPECT_EQ(primary, compatibility);
  EXPECT_EQ(Derive(host_, x_only, true), compatibility);
}

TEST_F(KeyAgreementTest, RefusesUnusablePeerKeys) {
  std::vector<uint8_t> prefixed = {0x04};
  prefixed.insert(prefixed.end(), peer_.public_key.begin(), peer_.public_key.end());
  for (const size_t size : {size_t{31}, size_t{33}, size_t{63}, size_t{65}, size_t{128}}) {
    LogCapture log;
    std::vector<uint8_t> key = prefixed;
    key.resize(size, 0x01);
    EXPECT_TRUE(Derive(host_, key, false).empty()) << size;
    EXPECT_TRUE(log.Contains("[Crypto] Unsupported peer public key size: " + std::to_string(size)))
        << size;
  }

  LogCapture log;
  std::vector<uint8_t> off_curve = peer_.public_key;
  off_curve.back() ^= 1;
  EXPECT_TRUE(Derive(host_, off_curve, false).empty());
  EXPECT_TRUE(log.Contains("failed: 0x")) << "an off-curve point is refused with its status";
  const size_t lines = log.Lines().size();
  EXPECT_TRUE(Derive(host_, {}, false).empty());
  EXPECT_TRUE(crypto_->DeriveSessionKey(nullptr, peer_.public_key, {}, false).empty());
  EXPECT_EQ(log.Lines().size(), lines) << "missing inputs are refused without a log line";
}

// Every form of peer key the client may send, on both platforms: X and Y, either Y, X
// alone; refused when no such point is on the curve. Where the platform's CNG cannot hand
// out raw secrets (Wine), the key still must have been imported and agreed on.
TEST(PeerKeyFormTest, EveryFormOfAPointIsAcceptedAndNothingElse) {
  LogCapture setup_log;
  SessionCrypto crypto;
  const EphemeralKeyPair host = crypto.GenerateEphemeralKey();
  const EphemeralKeyPair peer = crypto.GenerateEphemeralKey();
  if (host.public_key.size() != 64 || peer.public_key.size() != 64) {
    const std::string missing = MissingCngFeature(setup_log);
    ASSERT_FALSE(missing.empty()) << "no key pair";
    GTEST_SKIP() << "CNG here lacks " << missing;
  }
  const std::vector<uint8_t> prime =
      FromHex("ffffffff00000001000000000000000000000000ffffffffffffffffffffffff");
  const std::vector<uint8_t> x(peer.public_key.begin(), peer.public_key.begin() + 32);
  // The negated point: the same X with the other Y, p - Y.
  std::vector<uint8_t> other_y = prime;
  int borrow = 0;
  for (size_t i = 32; i-- > 0;) {
    const int difference = other_y[i] - peer.public_key[32 + i] - borrow;
    borrow = difference < 0 ? 1 : 0;
    other_y[i] = static_cast<uint8_t>(difference + 256 * borrow);
  }
  std::vector<uint8_t> negated = x;
  negated.insert(negated.end(), other_y.begin(), other_y.end());
  std::vector<uint8_t> off_curve = peer.public_key;
  off_curve.back() ^= 1;
  std::vector<uint8_t> x_without_point(32, 0);
  x_without_point.back() = 1;  // x^3 - 3x + b has no square root for x = 1

  struct Case {
    const char* name;
    std::vector<uint8_t> key;
    bool accepted;
  };
  const Case cases[] = {
      {"X and Y", peer.public_key, true},
      {"X and the other Y", negated, true},
      {"X alone", x, true},
      {"X and Y off the curve", off_curve, false},
      {"zeros", std::vector<uint8_t>(64, 0), false},
      {"X alone with no point", x_without_point, false},
      {"X alone not below p", prime, false},
  };
  // Every accepted form agrees on the shared X, so the compatibility key is the same.
  const std::vector<uint8_t> expected =
      crypto.DeriveSessionKey(host.private_key.get(), peer.public_key, {}, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    const std::vector<uint8_t> key =
        crypto.DeriveSessionKey(host.private_key.get(), c.key, {}, true);
    const bool refused_on_import = log.Contains("[Crypto] Import peer public key failed: 0x");
    if (!c.accepted) {
      EXPECT_TRUE(key.empty());
      EXPECT_TRUE(refused_on_import || log.Contains("BCryptSecretAgreement failed") ||
                  log.Contains("EVP_PKEY_derive_set_peer failed"))
          << ::testing::PrintToString(log.Lines());
      continue;
    }
    EXPECT_FALSE(refused_on_import) << ::testing::PrintToString(log.Lines());
    EXPECT_FALSE(log.Contains("BCryptSecretAgreement failed"));
    if (key.empty() && !MissingCngFeature(log).empty()) {
      continue;  // imported and agreed on; this CNG gives no raw secret
    }
    ASSERT_EQ(key.size(), 32u) << ::testing::PrintToString(log.Lines());
    EXPECT_EQ(key, expected);
  }
}

}  // namespace
}  // namespace orvane
