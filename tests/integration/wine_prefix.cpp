#include "integration/wine_prefix.h"

#include <cstdlib>

namespace orvane::testing {

namespace fs = std::filesystem;

fs::path WindowsHostBinary() {
  return kWindowsBuild / "orvane-host.exe";
}

std::string WhatWineHostLacks(const fs::path& also_needed) {
  if (std::system("command -v wine > /dev/null 2>&1") != 0) {
    return "wine is not installed";
  }
  if (!fs::exists(WindowsHostBinary()) || (!also_needed.empty() && !fs::exists(also_needed))) {
    return "the Windows build is absent (scripts/build.sh windows makes it)";
  }
  if (!fs::exists(WinePrefix() / "system.reg")) {
    return "no wine prefix at " + WinePrefix().string() + " (scripts/test.sh prepares it)";
  }
  return {};
}

void UseWinePrefix() {
  setenv("WINEPREFIX", WinePrefix().c_str(), 1);
  setenv("WINEDEBUG", "-all", 1);
}

fs::path WinePrefix() {
  const char* cache = std::getenv("ORVANE_DEPS_CACHE");
  const char* home = std::getenv("HOME");
  const fs::path base = cache != nullptr && cache[0] != '\0'
                            ? fs::path(cache)
                            : fs::path(home != nullptr ? home : "") / ".cache" / "orvane-deps";
  return base / "wineprefix";
}

fs::path WineHostFolder() {
  std::error_code error;
  for (const auto& user : fs::directory_iterator(WinePrefix() / "drive_c" / "users", error)) {
    const fs::path folder = user.path() / "AppData" / "Roaming" / "OrvaneDisplay";
    if (fs::exists(folder, error)) {
      return folder;
    }
  }
  return {};
}

void RemoveWineHostState() {
  std::error_code error;
  for (const auto& user : fs::directory_iterator(WinePrefix() / "drive_c" / "users", error)) {
    fs::remove_all(user.path() / "AppData" / "Roaming" / "OrvaneDisplay", error);
  }
}

}  // namespace orvane::testing
