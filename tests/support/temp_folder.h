#pragma once

#include <filesystem>
#include <string>

namespace orvane::testing {

// A fresh, empty folder under the system's temporary folder, removed with everything in
// it when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "orvane-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& child) const {
    return path_ / child;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace orvane::testing
