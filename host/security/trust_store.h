#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/rate_limiter.h"
#include "platform/clock.h"
#include "security/trust_file.h"

namespace orvane {

// Writes `text` as the whole content of the file at `path`, creating or truncating it;
// false when any of it could not be written.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view text);

// What the store reads from its surroundings; tests replace it.
struct TrustStoreEnvironment {
  // Folder of trusted_devices.json and active_pairing_code.txt; an empty path means the
  // process's current folder.
  std::function<std::filesystem::path()> folder;
  std::function<uint64_t()> tick_ms;
  std::function<LocalTime()> now;
  std::function<bool(std::span<uint8_t>)> random;
  // Writes the device list's temporary file.
  std::function<bool(const std::filesystem::path&, std::string_view)> write_file = WriteWholeFile;
  // Told each new pairing code after the banner, so that a host without a console can
  // show it elsewhere; may be empty.
  std::function<void(const std::string& code)> code_issued;

  // The user's application-data folder, the tick clock, local time, the crypto RNG.
  static TrustStoreEnvironment System();
};

// The trusted-device list and the open pairing code, both kept on disk so that they
// survive a restart. The device list is guarded by a mutex; the pairing code belongs to
// the thread that handles control messages.
class TrustStore {
 public:
  // Pairing proofs are checked at most this often; sooner ones are refused unchecked, so
  // that the six-digit code cannot be searched at network speed.
  static constexpr uint64_t kProofIntervalMs = 2000;
  static constexpr size_t kProofSize = 32;
  // An open code is renewed at most this often: a client looping on refused Hellos would
  // otherwise fill the log, and the desktop with notifications, with a banner each time.
  static constexpr uint64_t kCodeRenewalMs = 2000;

  TrustStore();
  explicit TrustStore(TrustStoreEnvironment environment);

  // Reads the list from `path` (empty: the default file) and restores an open pairing
  // code. A missing, truncated or foreign file gives what could be read; always true.
  bool Load(const std::filesystem::path& path = {});
  // Writes the whole list to a temporary file beside the list's file and renames it over
  // that, so that a crash or a failed write never leaves a half-written list. False
  // (logged) when the file cannot be written; the old one then stays as it was.
  bool Save();

  bool IsTrusted(const std::string& client_id) const;
  // Sets lastSeen of the first record with this id to now; the caller saves.
  void UpdateLastSeen(const std::string& client_id);
  // Appends a record, or refreshes lastSeen of an existing one; the caller saves.
  void TrustDevice(const std::string& client_id, const std::string& client_name);
  std::vector<TrustedDevice> Devices() const;

  // Draws, keeps, persists and announces a new six-digit code, replacing any open one;
  // within kCodeRenewalMs of the last announcement the open code is returned as it is,
  // unannounced. Empty when no random number could be drawn.
  std::string IssuePairingCode();

  // Whether a proof given now would be checked, rather than refused unchecked.
  bool ProofCheckDue() const;

  // True when the proof is HMAC-SHA256(key = the open code, label = client id, data = the
  // peer's ephemeral public key); the code is then used up.
  bool VerifyPairingProof(std::span<const uint8_t> proof, const std::string& client_id,
                          std::span<const uint8_t> peer_public_key);

 private:
  std::filesystem::path DefaultPath(const char* file_name) const;
  std::string ReadPairingCodeFile() const;
  std::string NowText() const;

  TrustStoreEnvironment environment_;

  mutable std::mutex mutex_;
  std::vector<TrustedDevice> devices_;
  std::filesystem::path file_path_;

  std::string active_pairing_code_;
  std::optional<uint64_t> last_proof_check_ms_;
  std::optional<uint64_t> last_code_issued_ms_;
  RateLimiter unchecked_proof_log_{1000};
};

}  // namespace orvane
