#include <cstdlib>

#include "app/adb_search.h"
#include "platform/process.h"

namespace orvane {

AdbSearch AdbSearch::System() {
  AdbSearch search;
  search.program_name = "adb";
  search.executable_directory = ExecutableDirectory();
  search.find_on_search_path = FindOnSearchPath;
  search.environment_folder = [](const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
  };
  search.user_sdk_folder = [] {
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] != '\0' ? std::filesystem::path(home) / "Android" / "Sdk"
                                              : std::filesystem::path();
  };
  return search;
}

}  // namespace orvane
