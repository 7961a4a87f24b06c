#include <windows.h>

#include "app/adb_search.h"
#include "platform/process.h"

namespace orvane {
namespace {

constexpr DWORD kVariableCapacity = 1024;

// A value that is empty or does not fit the buffer counts as unset.
std::filesystem::path EnvironmentFolder(const char* variable) {
  const std::wstring name = std::filesystem::path(variable).wstring();
  wchar_t value[kVariableCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value, kVariableCapacity);
  if (length == 0 || length >= kVariableCapacity) {
    return {};
  }
  return std::filesystem::path(value);
}

}  // namespace

AdbSearch AdbSearch::System() {
  AdbSearch search;
  search.program_name = "adb.exe";
  search.executable_directory = ExecutableDirectory();
  search.find_on_search_path = FindOnSearchPath;
  search.environment_folder = EnvironmentFolder;
  search.user_sdk_folder = [] {
    const std::filesystem::path local_app_data = EnvironmentFolder("LOCALAPPDATA");
    return local_app_data.empty() ? local_app_data : local_app_data / "Android" / "Sdk";
  };
  return search;
}

}  // namespace orvane
