#include "security/trust_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "security/hex_bytes.h"
#include "security/session_crypto.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::LogCapture;
using testing::TempFolder;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class TrustStoreTest : public ::testing::Test {
 protected:
  TrustStoreEnvironment Environment() {
    return {[this] { return folder_; },
            [this] { return tick_ms_; },
            [this] { return now_; },
            [this](std::span<uint8_t> out) {
              for (size_t i = 0; i < out.size(); ++i) {
                out[i] = static_cast<uint8_t>(random_ >> (8 * (i % 4)));
              }
              return random_works_;
            },
            WriteWholeFile,
            [this](const std::string& code) { issued_.push_back(code); }};
  }

  fs::path DevicesFile() const { return folder_ / "trusted_devices.json"; }
  fs::path CodeFile() const { return folder_ / "active_pairing_code.txt"; }

  static std::vector<uint8_t> Proof(const std::string& code, const std::string& client_id,
                                    const std::vector<uint8_t>& peer_key) {
    return SessionCrypto::HmacSha256(Bytes(code), client_id.c_str(), peer_key);
  }

  TempFolder temp_{"orvane-trust"};
  const fs::path folder_ = temp_.path();
  uint64_t tick_ms_ = 100000;
  LocalTime now_{2026, 3, 8, 9, 5, 7, 0};
  uint32_t random_ = 123456;
  bool random_works_ = true;
  std::vector<std::string> issued_;
  const std::vector<uint8_t> key_a_ = std::vector<uint8_t>(64, 0xA1);
  const std::vector<uint8_t> key_b_ = std::vector<uint8_t>(64, 0xB2);
};

TEST_F(TrustStoreTest, SavedListLoadsBackInANewStore) {
  LogCapture log;
  TrustStore store(Environment());
  ASSERT_TRUE(store.Load());
  EXPECT_TRUE(log.Contains("[Trust] No trusted devices file found -- starting fresh"));
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFile(DevicesFile()), "[\n]\n");

  TrustStore empty(Environment());
  empty.Load();
  EXPECT_TRUE(empty.Devices().empty());
  EXPECT_TRUE(log.Contains("[Trust] Loaded 0 trusted devices from " + DevicesFile().string()));

  store.TrustDevice("id-1", "Bob's \"fast\" phone");
  store.TrustDevice("id-2", "Tab\\let");
  store.TrustDevice("id-3", "Pixel");
  ASSERT_TRUE(store.Save());
  EXPECT_TRUE(log.Contains("[Trust] Saved 3 trusted devices to " + DevicesFile().string()));
  EXPECT_EQ(ReadFile(DevicesFile()), FormatTrustFile(store.Devices()));

  TrustStore reloaded(Environment());
  reloaded.Load();
  EXPECT_EQ(reloaded.Devices(), store.Devices());
  EXPECT_EQ(reloaded.Devices()[0].client_name, "Bob's \"fast\" phone");
  EXPECT_TRUE(reloaded.IsTrusted("id-2"));
}

TEST_F(TrustStoreTest, TrustingAKnownDeviceOnlyRefreshesItsLastSeen) {
  TrustStore store(Environment());
  store.Load();
  LogCapture log;
  store.TrustDevice("id-1", "Pixel");
  const TrustedDevice added{"id-1", "Pixel", "2026-03-08T09:05:07", "2026-03-08T09:05:07"};
  EXPECT_EQ(store.Devices(), std::vector<TrustedDevice>{added});
  EXPECT_TRUE(log.Contains("[Trust] Device trusted: Pixel (id-1)"));

  now_ = {2026, 3, 9, 10, 0, 1, 0};
  store.TrustDevice("id-1", "Renamed");
  const TrustedDevice refreshed{"id-1", "Pixel", "2026-03-08T09:05:07", "2026-03-09T10:00:01"};
  EXPECT_EQ(store.Devices(), std::vector<TrustedDevice>{refreshed});
  EXPECT_EQ(log.Count("Device trusted"), 1u);
  EXPECT_TRUE(store.IsTrusted("id-1"));
  EXPECT_FALSE(store.IsTrusted("id-2"));
  EXPECT_FALSE(store.IsTrusted(""));

  // Names come from the network: they cannot start a forged line of their own.
  store.TrustDevice("id-\n2", "Tab\n[ERROR] forged");
  EXPECT_TRUE(log.Contains("[Trust] Device trusted: Tab\\x0A[ERROR] forged (id-\\x0A2)"));
}

TEST_F(TrustStoreTest, UpdateLastSeenTouchesTheFirstMatchInMemoryOnly) {
  const std::vector<TrustedDevice> duplicates = {
      {"a", "first", "t", "old"}, {"b", "other", "t", "old"}, {"a", "second", "t", "old"}};
  WriteFile(DevicesFile(), FormatTrustFile(duplicates));
  TrustStore store(Environment());
  store.Load();
  store.UpdateLastSeen("a");
  std::vector<TrustedDevice> expected = duplicates;
  expected[0].last_seen = "2026-03-08T09:05:07";
  EXPECT_EQ(store.Devices(), expected);
  EXPECT_EQ(ReadFile(DevicesFile()), FormatTrustFile(duplicates));
}

TEST_F(TrustStoreTest, SaveReportsAFileThatCannotBeWritten) {
  LogCapture log;
  TrustStore store(Environment());
  const fs::path unwritable = folder_ / "missing" / "trusted_devices.json";
  store.Load(unwritable);
  store.TrustDevice("id-1", "Pixel");
  EXPECT_FALSE(store.Save());
  EXPECT_TRUE(log.Contains("[Trust] Cannot write to " + unwritable.string()));
  EXPECT_TRUE(store.IsTrusted("id-1"));
}

TEST_F(TrustStoreTest, AWriteThatFailsHalfWayLeavesThePreviousListWhole) {
  LogCapture log;
  TrustStore store(Environment());
  store.Load();
  store.TrustDevice("id-1", "Pixel");
  ASSERT_TRUE(store.Save());
  const std::string saved = ReadFile(DevicesFile());

  // As a crash or a full disk would: half of the text reaches the disk.
  TrustStoreEnvironment failing = Environment();
  failing.write_file = [](const fs::path& path, std::string_view text) {
    WriteFile(path, std::string(text.substr(0, text.size() / 2)));
    return false;
  };
  TrustStore interrupted(failing);
  interrupted.Load();
  interrupted.TrustDevice("id-2", "Tablet");
  EXPECT_FALSE(interrupted.Save());
  EXPECT_TRUE(log.Contains("[Trust] Cannot write to " + DevicesFile().string()));

  EXPECT_EQ(ReadFile(DevicesFile()), saved);
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
    files.push_back(entry.path().filename());
  }
  EXPECT_EQ(files, std::vector<fs::path>{"trusted_devices.json"}) << "no temporary file is left";
}

TEST_F(TrustStoreTest, PairingCodeKeepsAllSixDigitsInFileAndBanner) {
  struct Case {
    uint32_t random;
    const char* code;
  };
  for (const Case& c : {Case{42, "000042"}, Case{0, "000000"}, Case{1000042, "000042"},
                        Case{0xFFFFFFFFu, "967295"}, Case{0x12345678u, "419896"}}) {
    random_ = c.random;
    issued_.clear();
    TrustStore store(Environment());
    LogCapture log;
    EXPECT_EQ(store.IssuePairingCode(), c.code);
    EXPECT_EQ(ReadFile(CodeFile()), c.code);
    EXPECT_EQ(issued_, std::vector<std::string>{c.code});
    const std::vector<std::string> banner = {
        "",
        "  =========================================",
        std::string("  ||  PAIRING CODE:  ") + c.code + "                ||",
        "  =========================================",
        "  Enter this code on your mobile device.",
    };
    EXPECT_EQ(log.Lines(), banner);
  }
}

TEST_F(TrustStoreTest, NoCodeIsIssuedWithoutRandomNumbers) {
  random_works_ = false;
  TrustStore store(Environment());
  LogCapture log;
  EXPECT_EQ(store.IssuePairingCode(), "");
  EXPECT_FALSE(fs::exists(CodeFile()));
  EXPECT_TRUE(issued_.empty());
  EXPECT_TRUE(log.Contains("[Trust] Random number generator failed"));
}

TEST_F(TrustStoreTest, ProofIsBoundToCodeClientAndEphemeralKey) {
  TrustStore store(Environment());
  store.Load();
  const std::string code = store.IssuePairingCode();
  std::string other_code = code;
  other_code[0] = code[0] == '9' ? '0' : static_cast<char>(code[0] + 1);
  const std::vector<uint8_t> proof = Proof(code, "id-1", key_a_);
  std::vector<uint8_t> longer = proof;
  longer.push_back(0);

  struct Case {
    const char* name;
    std::vector<uint8_t> proof;
    const char* client_id;
    std::vector<uint8_t> peer_key;
  };
  const Case refused[] = {
      {"another connection's key", proof, "id-1", key_b_},
      {"another client", proof, "id-2", key_a_},
      {"another code", Proof(other_code, "id-1", key_a_), "id-1", key_a_},
      {"31 bytes", {proof.begin(), proof.end() - 1}, "id-1", key_a_},
      {"33 bytes", longer, "id-1", key_a_},
  };
  for (const Case& c : refused) {
    tick_ms_ += TrustStore::kProofIntervalMs;
    EXPECT_FALSE(store.VerifyPairingProof(c.proof, c.client_id, c.peer_key)) << c.name;
  }
  tick_ms_ += TrustStore::kProofIntervalMs;
  EXPECT_TRUE(store.VerifyPairingProof(proof, "id-1", key_a_));
  EXPECT_FALSE(fs::exists(CodeFile()));
  tick_ms_ += TrustStore::kProofIntervalMs;
  EXPECT_FALSE(store.VerifyPairingProof(proof, "id-1", key_a_)) << "the code is used up";
}

TEST_F(TrustStoreTest, OpenCodeSurvivesARestart) {
  for (const bool load_first : {true, false}) {
    std::string code;
    {
      TrustStore before(Environment());
      before.Load();
      code = before.IssuePairingCode();
    }
    TrustStore after(Environment());
    LogCapture log;
    if (load_first) {
      after.Load();
      EXPECT_TRUE(log.Contains("[Trust] Restored active pairing code"));
    }
    EXPECT_TRUE(after.VerifyPairingProof(Proof(code, "id-1", key_a_), "id-1", key_a_))
        << "load first: " << load_first;
    EXPECT_FALSE(fs::exists(CodeFile()));
    ++random_;
  }
}

TEST_F(TrustStoreTest, ProofsAreCheckedAtMostEveryTwoSeconds) {
  TrustStore store(Environment());
  store.Load();
  const std::string code = store.IssuePairingCode();
  const std::vector<uint8_t> good = Proof(code, "id-1", key_a_);
  std::vector<uint8_t> bad = good;
  bad[0] ^= 1;
  LogCapture log;

  tick_ms_ = 10000;
  EXPECT_FALSE(store.VerifyPairingProof({good.begin(), good.end() - 1}, "id-1", key_a_));
  tick_ms_ = 10001;
  EXPECT_FALSE(store.VerifyPairingProof(bad, "id-1", key_a_));
  EXPECT_FALSE(log.Contains("refused unchecked")) << "a proof of the wrong size is not a check";

  tick_ms_ = 12000;
  EXPECT_FALSE(store.VerifyPairingProof(good, "id-1", key_a_));
  EXPECT_TRUE(log.Contains("[Trust] Pairing proof refused unchecked: 1999 ms"));
  EXPECT_EQ(ReadFile(CodeFile()), code) << "an unchecked proof leaves the code open";

  tick_ms_ = 12001;
  EXPECT_TRUE(store.VerifyPairingProof(good, "id-1", key_a_));
}

// A client looping on refused Hellos gets the open code back (it never travels) without a
// new banner or notification each time; a used-up code is replaced at once.
TEST_F(TrustStoreTest, AnOpenCodeIsRenewedAtMostEveryTwoSeconds) {
  TrustStore store(Environment());
  store.Load();
  const std::string first = store.IssuePairingCode();
  LogCapture log;
  random_ = 654321;
  tick_ms_ += TrustStore::kCodeRenewalMs - 1;
  EXPECT_EQ(store.IssuePairingCode(), first);
  EXPECT_EQ(log.Count("PAIRING CODE"), 0u);
  EXPECT_EQ(issued_.size(), 1u);

  tick_ms_ += 1;
  const std::string second = store.IssuePairingCode();
  EXPECT_NE(second, first);
  EXPECT_EQ(ReadFile(CodeFile()), second);
  EXPECT_EQ(issued_, (std::vector<std::string>{first, second}));

  ASSERT_TRUE(store.VerifyPairingProof(Proof(second, "id-1", key_a_), "id-1", key_a_));
  random_ = 111111;
  EXPECT_EQ(store.IssuePairingCode(), "111111");
}

// Proofs arriving too soon are refused one by one, but the warning says so once a second.
TEST_F(TrustStoreTest, UncheckedRefusalsAreLoggedOnceASecond) {
  TrustStore store(Environment());
  store.Load();
  const std::string code = store.IssuePairingCode();
  const std::vector<uint8_t> wrong(TrustStore::kProofSize, 0);
  ASSERT_FALSE(store.VerifyPairingProof(wrong, "id-1", key_a_));
  LogCapture log;
  for (int i = 0; i < 100; ++i) {
    tick_ms_ += 19;
    EXPECT_FALSE(store.VerifyPairingProof(Proof(code, "id-1", key_a_), "id-1", key_a_));
  }
  EXPECT_EQ(log.Count("[Trust] Pairing proof refused unchecked"), 2u);
}

TEST_F(TrustStoreTest, NoProofPassesWithoutAnOpenCode) {
  TrustStore store(Environment());
  store.Load();
  EXPECT_FALSE(store.VerifyPairingProof(Proof("", "id-1", key_a_), "id-1", key_a_));
  WriteFile(CodeFile(), "");
  EXPECT_FALSE(store.VerifyPairingProof(Proof("", "id-1", key_a_), "id-1", key_a_));
}

}  // namespace
}  // namespace orvane
