#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace orvane {

// Where received files go and how much room is left there; tests replace both.
struct FileTransferEnvironment {
  // The folder received files are stored in, created if missing when it is looked up;
  // "." when the user's folders cannot be found.
  std::function<std::filesystem::path()> destination_folder;
  // Bytes the user may still write on the folder's volume; nullopt when that cannot be
  // asked.
  std::function<std::optional<uint64_t>(const std::filesystem::path&)> free_bytes;

  // The user's download folder and the file system's free-space query.
  static FileTransferEnvironment System();
};

// Answers the client's requests to send the host a file: checks the room left, picks a
// safe name in the destination folder, and opens that file for appending so the client
// can resume after what is already there. Keeps one output open: the file of the
// transfer accepted last (accepting another closes the one before).
class FileTransferReceiver {
 public:
  explicit FileTransferReceiver(FileTransferEnvironment environment);
  FileTransferReceiver(const FileTransferReceiver&) = delete;
  FileTransferReceiver& operator=(const FileTransferReceiver&) = delete;

  // True when the transfer is accepted and its file is open.
  bool StartTransfer(const std::string& transfer_id, const std::string& filename,
                     uint64_t file_size_bytes);
  // The bytes already on disk for the transfer accepted last, when `transfer_id` is its
  // id; 0 otherwise.
  uint64_t ResumeOffset(const std::string& transfer_id) const;

 private:
  const FileTransferEnvironment environment_;
  mutable std::mutex mutex_;
  std::string transfer_id_;
  uint64_t bytes_received_ = 0;
  std::ofstream output_;
};

}  // namespace orvane
