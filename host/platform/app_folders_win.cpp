#include "platform/app_folders_win.h"

#include <shlobj.h>

#include "platform/app_folders.h"

namespace orvane {
namespace {

// Wide throughout: the ANSI calls turn letters outside the code page (many user names)
// into "?", and the folder then names nothing.
HRESULT ShellFolder(int csidl, wchar_t* path) {
  return SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
}

std::filesystem::path Lookup(ShellFolderLookup lookup, int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(lookup(csidl, path))) {
    return {};
  }
  return std::filesystem::path(path);
}

// Creates `folder` (one level) if missing and hands it back.
std::filesystem::path Created(const std::filesystem::path& folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

// CSIDL_APPDATA\OrvaneDisplay, created on every lookup; empty when the shell has no
// roaming application-data folder for this user.
std::filesystem::path AppDataFolder(ShellFolderLookup lookup) {
  const std::filesystem::path base = Lookup(lookup, CSIDL_APPDATA);
  return base.empty() ? base : Created(base / L"OrvaneDisplay");
}

std::filesystem::path AppLogFolder(ShellFolderLookup lookup) {
  const std::filesystem::path product = AppDataFolder(lookup);
  return product.empty() ? product : Created(product / L"logs");
}

std::filesystem::path DownloadFolder(ShellFolderLookup lookup) {
  const std::filesystem::path profile = Lookup(lookup, CSIDL_PROFILE);
  if (profile.empty()) {
    return ".";
  }
  // "Downloads" itself is the user's to make; a missing one refuses every transfer.
  return Created(profile / L"Downloads" / L"OrvaneDisplay");
}

std::filesystem::path AppDataFolder() {
  return AppDataFolder(ShellFolder);
}

std::filesystem::path AppLogFolder() {
  return AppLogFolder(ShellFolder);
}

std::filesystem::path DownloadFolder() {
  return DownloadFolder(ShellFolder);
}

}  // namespace orvane
