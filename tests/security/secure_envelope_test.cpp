#include "security/secure_envelope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/hex_bytes.h"
#include "security/session_crypto.h"

namespace orvane {
namespace {

using testing::Bytes;
using testing::FromHex;

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> Header(uint8_t flag, const char* counter_hex) {
  std::vector<uint8_t> header = Bytes("ORV1");
  header.push_back(flag);
  return Concat(header, FromHex(counter_hex));
}

TEST(SecureEnvelopeTest, ClassifiesBuffersByMagicFlagAndLength) {
  const char* counter = "0102030405060708";
  struct Case {
    const char* name;
    std::vector<uint8_t> buffer;
    EnvelopeKind kind;
    uint64_t counter;
    std::vector<uint8_t> payload;
  };
  const std::vector<uint8_t> twelve = Header(0x01, "01020304050607");
  std::vector<uint8_t> foreign = Concat(Header(0x01, counter), Bytes("x"));
  foreign[3] = '2';
  const Case cases[] = {
      {"empty", {}, EnvelopeKind::kBare, 0, {}},
      {"12 bytes starting ORV1", twelve, EnvelopeKind::kBare, 0, twelve},
      {"other magic", foreign, EnvelopeKind::kBare, 0, foreign},
      {"clear", Concat(Header(0x00, counter), Bytes("abc")), EnvelopeKind::kClear,
       0x0102030405060708ull, Bytes("abc")},
      {"clear header only", Header(0x00, counter), EnvelopeKind::kClear, 0x0102030405060708ull, {}},
      {"other flag bits ignored", Concat(Header(0xFE, counter), Bytes("abc")), EnvelopeKind::kClear,
       0x0102030405060708ull, Bytes("abc")},
      {"sealed", Concat(Header(0xFF, counter), Bytes("abc")), EnvelopeKind::kSealed,
       0x0102030405060708ull, Bytes("abc")},
  };
  for (const Case& c : cases) {
    const EnvelopeView view = ParseEnvelope(c.buffer);
    EXPECT_EQ(view.kind, c.kind) << c.name;
    EXPECT_EQ(view.counter, c.counter) << c.name;
    EXPECT_EQ(std::vector<uint8_t>(view.payload.begin(), view.payload.end()), c.payload) << c.name;
  }
}

TEST(SecureEnvelopeTest, SealsWithHeaderAndOpensOnlyOnItsChannel) {
  const std::vector<uint8_t> key(32, 0x17);
  const std::vector<uint8_t> packet = Bytes("video fragment");
  std::vector<uint8_t> envelope(3, 0xAA);  // a reused buffer with old contents
  ASSERT_TRUE(SealEnvelope(key, kMediaDirection, 0x0102030405060708ull, packet, envelope));

  EXPECT_EQ(envelope.size(), packet.size() + 29);
  EXPECT_EQ(std::vector<uint8_t>(envelope.begin(), envelope.begin() + 13),
            Header(0x01, "0102030405060708"));
  EXPECT_EQ(std::vector<uint8_t>(envelope.begin() + 13, envelope.end()),
            SessionCrypto::EncryptPayload(key, 2, 0x0102030405060708ull, packet));
  EXPECT_EQ(OpenEnvelope(envelope, key, kMediaDirection), packet);
  EXPECT_EQ(OpenEnvelope(envelope, key, kInputDirection), std::nullopt);

  std::vector<uint8_t> other_counter = envelope;
  other_counter[12] ^= 1;
  EXPECT_EQ(OpenEnvelope(other_counter, key, kMediaDirection), std::nullopt);
}

TEST(SecureEnvelopeTest, WritesClearEnvelopesWithTheSameHeader) {
  struct Case {
    const char* name;
    std::vector<uint8_t> payload;
  };
  const Case cases[] = {{"message", Bytes("in the clear")}, {"empty payload", {}}};
  for (const Case& c : cases) {
    std::vector<uint8_t> envelope = Bytes("a longer reused buffer with old contents");
    WriteClearEnvelope(0x0102030405060708ull, c.payload, envelope);
    EXPECT_EQ(envelope, Concat(Header(0x00, "0102030405060708"), c.payload)) << c.name;
    const EnvelopeView view = ParseEnvelope(envelope);
    EXPECT_EQ(view.kind, EnvelopeKind::kClear) << c.name;
    EXPECT_EQ(OpenEnvelope(envelope, {}, kControlDirection), c.payload) << c.name;
  }
}

TEST(SecureEnvelopeTest, OpenPassesUnsealedPayloadsAndRefusesWhatDoesNotOpen) {
  const std::vector<uint8_t> key(32, 0x17);
  std::vector<uint8_t> empty_plaintext;
  ASSERT_TRUE(SealEnvelope(key, kInputDirection, 5, {}, empty_plaintext));
  EXPECT_EQ(empty_plaintext.size(), 29u);

  struct Case {
    const char* name;
    std::vector<uint8_t> buffer;
    std::vector<uint8_t> key;
    std::optional<std::vector<uint8_t>> opened;
  };
  const std::vector<uint8_t> sealed_header = Header(0x01, "0000000000000005");
  const Case cases[] = {
      {"bare", Bytes("ORV1 short!!"), key, Bytes("ORV1 short!!")},
      {"clear, without a key",
       Concat(Header(0x00, "0000000000000005"), Bytes("in the clear")),
       {},
       Bytes("in the clear")},
      {"sealed header only", sealed_header, key, std::nullopt},
      {"sealed part shorter than a tag", Concat(sealed_header, std::vector<uint8_t>(15, 0)), key,
       std::nullopt},
      {"sealed empty plaintext", empty_plaintext, key, std::nullopt},
      {"sealed, without a key", empty_plaintext, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpenEnvelope(c.buffer, c.key, kInputDirection), c.opened) << c.name;
  }
}

TEST(SecureEnvelopeTest, SealFailsWithoutAUsableKey) {
  std::vector<uint8_t> envelope = Bytes("stale");
  EXPECT_FALSE(SealEnvelope({}, kMediaDirection, 1, Bytes("packet"), envelope));
  EXPECT_TRUE(envelope.empty());
}

}  // namespace
}  // namespace orvane
