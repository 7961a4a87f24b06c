#include "services/file_transfer_receiver.h"

#include "base/log_text.h"
#include "base/logger.h"
#include "base/utf8_path.h"
#include "platform/app_folders.h"
#include "services/free_disk_space.h"
#include "services/safe_file_name.h"

namespace orvane {
namespace {

// Room that must stay free beyond the file itself.
constexpr uint64_t kHeadroomBytes = 1048576;

// The size of the file already at `path`, 0 when there is none.
uint64_t ExistingSize(const std::filesystem::path& path) {
  std::ifstream existing(path, std::ios::binary | std::ios::ate);
  if (!existing.is_open()) {
    return 0;
  }
  const std::streamoff end = existing.tellg();
  return end > 0 ? static_cast<uint64_t>(end) : 0;
}

}  // namespace

FileTransferEnvironment FileTransferEnvironment::System() {
  return {DownloadFolder, FreeDiskBytes};
}

FileTransferReceiver::FileTransferReceiver(FileTransferEnvironment environment)
    : environment_(std::move(environment)) {}

bool FileTransferReceiver::StartTransfer(const std::string& transfer_id,
                                         const std::string& filename, uint64_t file_size_bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::filesystem::path folder = environment_.destination_folder();
  const std::optional<uint64_t> free_bytes = environment_.free_bytes(folder);
  // Without an answer from the file system the transfer goes ahead. A size so large
  // that adding the headroom would overflow never fits.
  if (free_bytes && (file_size_bytes > UINT64_MAX - kHeadroomBytes ||
                     *free_bytes < file_size_bytes + kHeadroomBytes)) {
    LOG_ERROR_COLLAPSED("[FileXfer] Not enough disk space for %s (need %llu, have %llu)",
                        EscapeForLog(filename).c_str(),
                        static_cast<unsigned long long>(file_size_bytes),
                        static_cast<unsigned long long>(*free_bytes));
    return false;
  }
  const std::optional<std::string> safe_name = SafeFileName(filename);
  if (!safe_name) {
    LOG_ERROR_COLLAPSED("[FileXfer] Cannot create file: %s",
                        EscapeForLog(Utf8FromPath(folder / PathFromUtf8(filename))).c_str());
    return false;
  }
  const std::filesystem::path path = folder / PathFromUtf8(*safe_name);
  const uint64_t offset = ExistingSize(path);
  std::ofstream output(path, std::ios::binary | std::ios::app);
  if (!output.is_open()) {
    LOG_ERROR_COLLAPSED("[FileXfer] Cannot create file: %s",
                        EscapeForLog(Utf8FromPath(path)).c_str());
    return false;
  }
  output_ = std::move(output);
  transfer_id_ = transfer_id;
  bytes_received_ = offset;
  LOG_INFO_COLLAPSED(
      "[FileXfer] Accepted: %s (%llu bytes, resume at %llu)", EscapeForLog(*safe_name).c_str(),
      static_cast<unsigned long long>(file_size_bytes), static_cast<unsigned long long>(offset));
  return true;
}

uint64_t FileTransferReceiver::ResumeOffset(const std::string& transfer_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transfer_id == transfer_id_ ? bytes_received_ : 0;
}

}  // namespace orvane
