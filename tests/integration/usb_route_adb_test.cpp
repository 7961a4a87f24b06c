#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/usb_route.h"
#include "platform/process.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

// Debian's adb with no device attached: the server starts, the first reverse fails, and
// the route reports failure with adb's exit code. The server gets a free port and a
// home of its own, and is stopped afterwards.
TEST(UsbRouteAdbTest, RealAdbWithoutADeviceFailsCleanly) {
  const std::filesystem::path adb = FindOnSearchPath("adb");
  ASSERT_FALSE(adb.empty()) << "adb is installed by scripts/deps.sh";
  TempFolder home("orvane-adb");
  setenv("HOME", home.path().c_str(), 1);
  setenv("ANDROID_ADB_SERVER_PORT", std::to_string(FreeTcpPort()).c_str(), 1);

  HostOptions options;
  options.control_port = 19430;
  options.media_port = 19431;
  options.input_port = 19432;
  AdbSearch search = AdbSearch::System();
  search.executable_directory.clear();
  LogCapture log;
  EXPECT_FALSE(UsbRoute(search).Setup(options));
  EXPECT_TRUE(log.Contains("[Main] Using adb: " + adb.string()));
  EXPECT_EQ(log.Count("[Main] adb reverse failed for tcp:19430 (started=1 exit="), 1u);
  EXPECT_FALSE(log.Contains("exit=0)"));
  EXPECT_FALSE(log.Contains("tcp:19431"));

  EXPECT_TRUE(RunProcess(adb, {"kill-server"}, UsbRoute::kAdbTimeLimitMs, nullptr));
}

}  // namespace
}  // namespace orvane::testing
