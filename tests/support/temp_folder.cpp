#include "support/temp_folder.h"

#include <atomic>
#include <chrono>

namespace orvane::testing {

TempFolder::TempFolder(const std::string& prefix) {
  // Time and a process-wide serial keep folders of parallel test processes apart.
  static std::atomic<unsigned> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() /
          (prefix + "-" + std::to_string(stamp) + "-" + std::to_string(serial++));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace orvane::testing
