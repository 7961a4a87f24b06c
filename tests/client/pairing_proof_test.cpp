#include "client/pairing_proof.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

#include <chrono>
#include <filesystem>

#include "security/session_crypto.h"
#include "security/trust_store.h"

namespace orvane::client {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

class PairingProofTest : public ::testing::Test {
 protected:
  // A store in the test folder with a clock that moves past the proof interval on every
  // read, so each check is really made.
  TrustStore Store() {
    return TrustStore({[this] { return folder_; }, [this] { return tick_ms_ += 5000; },
                       CurrentLocalTime, SessionCrypto::RandomBytes, WriteWholeFile, nullptr});
  }

  TempFolder temp_{"orvane-proof"};
  const fs::path folder_ = temp_.path();
  uint64_t tick_ms_ = 0;
  // Any 64 bytes stand for the ephemeral key: the proof only hashes them.
  const std::vector<uint8_t> client_key_ = std::vector<uint8_t>(64, 0x4B);
};

TEST_F(PairingProofTest, HostAcceptsTheProofOfItsCodeAndNothingElse) {
  const std::string client_id = "orvane-client-00112233aabbccdd";
  std::vector<uint8_t> other_key = client_key_;
  other_key.back() ^= 1;
  struct Case {
    const char* name;
    bool right_code;
    std::string proof_client_id;
    const std::vector<uint8_t>* proof_key;
    bool accepted;
  };
  const Case cases[] = {
      {"matching", true, client_id, &client_key_, true},
      {"wrong code", false, client_id, &client_key_, false},
      {"other client id", true, "orvane-client-ffffffffffffffff", &client_key_, false},
      {"other ephemeral key", true, client_id, &other_key, false},
  };
  for (const Case& c : cases) {
    TrustStore store = Store();
    const std::string code = store.IssuePairingCode();
    ASSERT_TRUE(IsPairingCodeText(code));
    const std::string typed = c.right_code ? code : (code == "000000" ? "000001" : "000000");
    const std::vector<uint8_t> proof = PairingProof(typed, c.proof_client_id, *c.proof_key);
    EXPECT_EQ(proof.size(), 32u) << c.name;
    EXPECT_EQ(store.VerifyPairingProof(proof, client_id, client_key_), c.accepted) << c.name;
  }
}

TEST(PairingCodeTextTest, OnlySixDigitsAreACode) {
  const std::pair<const char*, bool> cases[] = {
      {"123456", true},  {"000042", true},  {"12345", false}, {"1234567", false},
      {"12345a", false}, {" 12345", false}, {"", false},
  };
  for (const auto& [text, valid] : cases) {
    EXPECT_EQ(IsPairingCodeText(text), valid) << text;
  }
}

}  // namespace
}  // namespace orvane::client
