#include "security/trust_store.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/log_text.h"
#include "base/logger.h"
#include "base/utf8_path.h"
#include "platform/app_folders.h"
#include "security/session_crypto.h"

namespace orvane {
namespace {

constexpr char kDevicesFileName[] = "trusted_devices.json";
constexpr char kPairingCodeFileName[] = "active_pairing_code.txt";
constexpr char kTemporarySuffix[] = ".tmp";

// Binary mode throughout: the files have line feeds only, on every platform.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ConstantTimeEqual(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  uint8_t difference = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<uint8_t>(a[i] ^ b[i]);
  }
  return difference == 0;
}

// A rename within one folder replaces the target whole (on Windows MoveFileExW with
// MOVEFILE_REPLACE_EXISTING): readers see the old file or the new one, never a mix.
bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return !error;
}

}  // namespace

bool WriteWholeFile(const std::filesystem::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
  }
  return static_cast<bool>(out);
}

TrustStoreEnvironment TrustStoreEnvironment::System() {
  return {AppDataFolder,  TickCountMs, CurrentLocalTime, SessionCrypto::RandomBytes,
          WriteWholeFile, nullptr};
}

TrustStore::TrustStore() : TrustStore(TrustStoreEnvironment::System()) {}

TrustStore::TrustStore(TrustStoreEnvironment environment) : environment_(std::move(environment)) {}

std::filesystem::path TrustStore::DefaultPath(const char* file_name) const {
  return environment_.folder() / file_name;
}

std::string TrustStore::NowText() const {
  const LocalTime now = environment_.now();
  char text[64];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d", now.year, now.month, now.day,
                now.hour, now.minute, now.second);
  return text;
}

std::string TrustStore::ReadPairingCodeFile() const {
  const std::optional<std::string> text = ReadWholeFile(DefaultPath(kPairingCodeFileName));
  if (!text) {
    return {};
  }
  std::string line = text->substr(0, text->find('\n'));
  // A file edited on Windows may end its line with CR LF.
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

bool TrustStore::Load(const std::filesystem::path& path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    file_path_ = path.empty() ? DefaultPath(kDevicesFileName) : path;
    devices_.clear();
    if (const std::optional<std::string> text = ReadWholeFile(file_path_)) {
      devices_ = ParseTrustFile(*text);
      LOG_INFO("[Trust] Loaded %zu trusted devices from %s", devices_.size(),
               Utf8FromPath(file_path_).c_str());
    } else {
      LOG_INFO("[Trust] No trusted devices file found -- starting fresh");
    }
  }
  active_pairing_code_ = ReadPairingCodeFile();
  if (!active_pairing_code_.empty()) {
    LOG_INFO("[Trust] Restored active pairing code");
  }
  return true;
}

bool TrustStore::Save() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_path_.empty()) {
    file_path_ = DefaultPath(kDevicesFileName);
  }
  std::filesystem::path temporary = file_path_;
  temporary += kTemporarySuffix;
  if (!environment_.write_file(temporary, FormatTrustFile(devices_)) ||
      !ReplaceFile(temporary, file_path_)) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    LOG_ERROR("[Trust] Cannot write to %s", Utf8FromPath(file_path_).c_str());
    return false;
  }
  LOG_INFO("[Trust] Saved %zu trusted devices to %s", devices_.size(),
           Utf8FromPath(file_path_).c_str());
  return true;
}

bool TrustStore::IsTrusted(const std::string& client_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const TrustedDevice& device : devices_) {
    if (device.client_id == client_id) {
      return true;
    }
  }
  return false;
}

void TrustStore::UpdateLastSeen(const std::string& client_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (TrustedDevice& device : devices_) {
    if (device.client_id == client_id) {
      device.last_seen = NowText();
      return;
    }
  }
}

void TrustStore::TrustDevice(const std::string& client_id, const std::string& client_name) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (TrustedDevice& device : devices_) {
    if (device.client_id == client_id) {
      device.last_seen = NowText();
      return;
    }
  }
  const std::string now = NowText();
  devices_.push_back({client_id, client_name, now, now});
  LOG_INFO("[Trust] Device trusted: %s (%s)", EscapeForLog(client_name).c_str(),
           EscapeForLog(client_id).c_str());
}

std::vector<TrustedDevice> TrustStore::Devices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_;
}

std::string TrustStore::IssuePairingCode() {
  const uint64_t now = environment_.tick_ms();
  if (!active_pairing_code_.empty() && last_code_issued_ms_ &&
      now - *last_code_issued_ms_ < kCodeRenewalMs) {
    return active_pairing_code_;
  }
  uint8_t bytes[4] = {};
  if (!environment_.random(bytes)) {
    LOG_ERROR("[Trust] Random number generator failed; no pairing code issued");
    return {};
  }
  const uint32_t random = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                          (static_cast<uint32_t>(bytes[2]) << 16) |
                          (static_cast<uint32_t>(bytes[3]) << 24);
  char code[7];
  std::snprintf(code, sizeof(code), "%06u", static_cast<unsigned>(random % 1000000u));
  active_pairing_code_ = code;
  last_code_issued_ms_ = now;

  if (std::ofstream out(DefaultPath(kPairingCodeFileName), std::ios::binary | std::ios::trunc);
      out) {
    out << active_pairing_code_;
  }

  LOG_INFO("%s", "");
  LOG_INFO("  =========================================");
  LOG_INFO("  ||  PAIRING CODE:  %s                ||", active_pairing_code_.c_str());
  LOG_INFO("  =========================================");
  LOG_INFO("  Enter this code on your mobile device.\n");
  if (environment_.code_issued) {
    environment_.code_issued(active_pairing_code_);
  }
  return active_pairing_code_;
}

bool TrustStore::ProofCheckDue() const {
  return !last_proof_check_ms_ ||
         environment_.tick_ms() - *last_proof_check_ms_ >= kProofIntervalMs;
}

bool TrustStore::VerifyPairingProof(std::span<const uint8_t> proof, const std::string& client_id,
                                    std::span<const uint8_t> peer_public_key) {
  if (proof.size() != kProofSize) {
    return false;
  }
  const uint64_t now = environment_.tick_ms();
  if (!ProofCheckDue()) {
    if (!unchecked_proof_log_.Allow(now)) {
      return false;
    }
    LOG_WARN(
        "[Trust] Pairing proof refused unchecked: %llu ms after the previous check "
        "(minimum %llu ms)",
        static_cast<unsigned long long>(now - *last_proof_check_ms_),
        static_cast<unsigned long long>(kProofIntervalMs));
    return false;
  }
  if (active_pairing_code_.empty()) {
    active_pairing_code_ = ReadPairingCodeFile();
  }
  if (active_pairing_code_.empty()) {
    return false;
  }
  last_proof_check_ms_ = now;

  const auto* code = reinterpret_cast<const uint8_t*>(active_pairing_code_.data());
  const std::vector<uint8_t> expected = SessionCrypto::HmacSha256(
      {code, active_pairing_code_.size()}, client_id.c_str(), peer_public_key);
  if (expected.size() != kProofSize || !ConstantTimeEqual(expected, proof)) {
    return false;
  }
  active_pairing_code_.clear();
  std::error_code ignored;
  std::filesystem::remove(DefaultPath(kPairingCodeFileName), ignored);
  return true;
}

}  // namespace orvane
