#include "services/free_disk_space.h"

#include <sys/statvfs.h>

namespace orvane {

std::optional<uint64_t> FreeDiskBytes(const std::filesystem::path& folder) {
  struct statvfs volume {};
  if (statvfs(folder.c_str(), &volume) != 0) {
    return std::nullopt;
  }
  // Blocks available to unprivileged users, not the ones kept for root.
  return static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
}

}  // namespace orvane
