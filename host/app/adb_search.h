#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace orvane {

// Where the host looks for the Android Debug Bridge; tests replace any part.
struct AdbSearch {
  // "adb.exe" on Windows, "adb" elsewhere.
  std::string program_name;
  // Folder of the host's executable; empty when unknown.
  std::filesystem::path executable_directory;
  // The program as the system's search path finds it; empty when not found.
  std::function<std::filesystem::path(const std::string& program_name)> find_on_search_path;
  // The folder an environment variable names; empty when unset.
  std::function<std::filesystem::path(const char* variable)> environment_folder;
  // The per-user folder the Android SDK installs into by default (Windows:
  // %LOCALAPPDATA%\Android\Sdk, Linux: ~/Android/Sdk); empty when unknown.
  std::function<std::filesystem::path()> user_sdk_folder;

  static AdbSearch System();
};

// The places to look, in order: next to the executable (tools/, platform-tools/), the
// search path, $ANDROID_SDK_ROOT and $ANDROID_HOME (platform-tools/), the user's SDK, and
// tools/android-sdk/platform-tools/ under the current folder.
std::vector<std::filesystem::path> AdbCandidates(const AdbSearch& search);

// The first candidate that names an existing file that is not a folder; empty if none.
std::filesystem::path FindAdb(const AdbSearch& search);

}  // namespace orvane
