#include "services/free_disk_space.h"

#include <windows.h>

namespace orvane {

std::optional<uint64_t> FreeDiskBytes(const std::filesystem::path& folder) {
  ULARGE_INTEGER available_to_caller{};
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available_to_caller, nullptr, nullptr)) {
    return std::nullopt;
  }
  return available_to_caller.QuadPart;
}

}  // namespace orvane
