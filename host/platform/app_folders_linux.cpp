#include "platform/app_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/user_dirs.h"

namespace orvane {
namespace {

constexpr const char* kProductFolder = "OrvaneDisplay";

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return home;
  }
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return {};
}

// XDG base folder: the variable when it holds an absolute path (relative values are
// invalid by the XDG rules), else the fallback under the home folder.
std::filesystem::path XdgBase(const char* variable, const char* home_relative_fallback) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
    return value;
  }
  const std::filesystem::path home = HomeFolder();
  return home.empty() ? home : home / home_relative_fallback;
}

std::filesystem::path CreatedOrEmpty(const std::filesystem::path& folder) {
  if (folder.empty()) {
    return folder;
  }
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

}  // namespace

std::filesystem::path AppDataFolder() {
  const std::filesystem::path base = XdgBase("XDG_CONFIG_HOME", ".config");
  return base.empty() ? base : CreatedOrEmpty(base / kProductFolder);
}

std::filesystem::path AppLogFolder() {
  const std::filesystem::path base = XdgBase("XDG_STATE_HOME", ".local/state");
  return base.empty() ? base : CreatedOrEmpty(base / kProductFolder / "logs");
}

std::filesystem::path DownloadFolder() {
  const std::filesystem::path home = HomeFolder();
  if (home.empty()) {
    return ".";
  }
  std::ifstream user_dirs(XdgBase("XDG_CONFIG_HOME", ".config") / "user-dirs.dirs");
  std::stringstream text;
  text << user_dirs.rdbuf();
  std::filesystem::path downloads = DownloadDirFromUserDirs(text.str(), home);
  if (downloads.empty()) {
    downloads = home / "Downloads";
  }
  // The download folder itself is the user's to make; a missing one refuses every
  // transfer.
  const std::filesystem::path folder = downloads / kProductFolder;
  std::error_code ignored;
  std::filesystem::create_directory(folder, ignored);
  return folder;
}

}  // namespace orvane
