#include <string>

#include "app/host_console.h"
#include "base/logger.h"
#include "platform/process.h"

namespace orvane {
namespace {

constexpr uint32_t kOpenTimeLimitMs = 6000;

}  // namespace

void ShowHostConsole() {
  const std::filesystem::path log_file = Logger::Instance().CurrentFilePath();
  if (log_file.empty()) {
    LOG_WARN("[Main] No log file to open from tray");
    return;
  }
  const std::filesystem::path opener = FindOnSearchPath("xdg-open");
  uint32_t exit_code = 1;
  const bool ran =
      !opener.empty() && RunProcess(opener, {log_file.string()}, kOpenTimeLimitMs, &exit_code);
  if (!ran || exit_code != 0) {
    LOG_WARN("[Main] xdg-open failed for %s (started=%d exit=%u)", log_file.c_str(), ran ? 1 : 0,
             exit_code);
    return;
  }
  LOG_INFO("[Main] Log opened from tray: %s", log_file.c_str());
}

}  // namespace orvane
