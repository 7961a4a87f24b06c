#include "platform/app_folders.h"

#include <windows.h>

#include <shlobj.h>

namespace orvane {
namespace {

// CSIDL_APPDATA\OrvaneDisplay, created on every lookup; empty when the shell has no
// roaming application-data folder for this user.
std::string ProductFolder() {
  char base[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, base))) {
    return {};
  }
  std::string folder = std::string(base) + "\\OrvaneDisplay";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

std::filesystem::path AppDataFolder() {
  return ProductFolder();
}

std::filesystem::path AppLogFolder() {
  const std::string product = ProductFolder();
  if (product.empty()) {
    return {};
  }
  const std::string logs = product + "\\logs";
  CreateDirectoryA(logs.c_str(), nullptr);
  return logs;
}

std::filesystem::path DownloadFolder() {
  char profile[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, profile))) {
    return ".";
  }
  // "Downloads" itself is the user's to make; a missing one refuses every transfer.
  const std::string folder = std::string(profile) + "\\Downloads\\OrvaneDisplay";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace orvane
