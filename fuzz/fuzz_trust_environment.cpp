#include "fuzz_trust_environment.h"

#include <unistd.h>

#include <algorithm>
#include <string>

namespace orvane::fuzz {

FuzzTrustFolder::FuzzTrustFolder()
    : folder_(std::filesystem::temp_directory_path() /
              ("orvane-fuzz-" + std::to_string(getpid()))) {
  std::filesystem::create_directories(folder_);
}

TrustStoreEnvironment FuzzTrustFolder::Environment() {
  TrustStoreEnvironment environment = TrustStoreEnvironment::System();
  environment.folder = [this] { return folder_; };
  environment.tick_ms = [this] { return tick_ms_ += 1000; };
  environment.random = [](std::span<uint8_t> bytes) {
    std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    return true;
  };
  return environment;
}

void FuzzTrustFolder::Clear() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

}  // namespace orvane::fuzz
