#include "app/adb_search.h"

#include <system_error>

namespace orvane {

std::vector<std::filesystem::path> AdbCandidates(const AdbSearch& search) {
  const std::filesystem::path platform_tools = "platform-tools";
  const std::string& adb = search.program_name;
  std::vector<std::filesystem::path> candidates;
  if (!search.executable_directory.empty()) {
    candidates.push_back(search.executable_directory / "tools" / adb);
    candidates.push_back(search.executable_directory / platform_tools / adb);
  }
  candidates.push_back(search.find_on_search_path(adb));
  for (const char* variable : {"ANDROID_SDK_ROOT", "ANDROID_HOME"}) {
    if (const std::filesystem::path sdk = search.environment_folder(variable); !sdk.empty()) {
      candidates.push_back(sdk / platform_tools / adb);
    }
  }
  if (const std::filesystem::path sdk = search.user_sdk_folder(); !sdk.empty()) {
    candidates.push_back(sdk / platform_tools / adb);
  }
  candidates.push_back(std::filesystem::path("tools") / "android-sdk" / platform_tools / adb);
  return candidates;
}

std::filesystem::path FindAdb(const AdbSearch& search) {
  for (const std::filesystem::path& candidate : AdbCandidates(search)) {
    std::error_code error;
    if (!candidate.empty() && std::filesystem::exists(candidate, error) &&
        !std::filesystem::is_directory(candidate, error)) {
      return candidate;
    }
  }
  return {};
}

}  // namespace orvane
