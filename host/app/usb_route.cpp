#include "app/usb_route.h"

#include <filesystem>
#include <string>

#include "base/logger.h"
#include "base/utf8_path.h"
#include "platform/process.h"

namespace orvane {
namespace {

bool ReverseForward(const std::filesystem::path& adb, uint16_t port) {
  const std::string tcp_port = "tcp:" + std::to_string(port);
  uint32_t exit_code = 1;
  const bool started =
      RunProcess(adb, {"reverse", tcp_port, tcp_port}, UsbRoute::kAdbTimeLimitMs, &exit_code);
  if (started && exit_code == 0) {
    return true;
  }
  LOG_WARN("[Main] adb reverse failed for tcp:%u (started=%d exit=%lu)", port, started ? 1 : 0,
           static_cast<unsigned long>(exit_code));
  return false;
}

}  // namespace

bool UsbRoute::Setup(const HostOptions& options) const {
  const std::filesystem::path adb = FindAdb(search_);
  if (adb.empty()) {
    LOG_WARN(
        "[Main] %s not found (bundled/PATH/ANDROID_SDK_ROOT/ANDROID_HOME). USB route setup "
        "skipped",
        search_.program_name.c_str());
    return false;
  }
  LOG_INFO("[Main] Using adb: %s", Utf8FromPath(adb).c_str());
  RunProcess(adb, {"start-server"}, kAdbTimeLimitMs, nullptr);
  for (const uint16_t port : {options.control_port, options.media_port, options.input_port}) {
    if (!ReverseForward(adb, port)) {
      return false;
    }
  }
  LOG_INFO("[Main] USB route configured via ADB reverse (ports %u/%u/%u)", options.control_port,
           options.media_port, options.input_port);
  return true;
}

}  // namespace orvane
