#include "app/usb_route.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::LogCapture;
using testing::TempFolder;

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::string Reverse(uint16_t port) {
  return "reverse tcp:" + std::to_string(port) + " tcp:" + std::to_string(port);
}

class UsbRouteTest : public ::testing::Test {
 protected:
  UsbRouteTest() {
    options_.control_port = 19430;
    options_.media_port = 19431;
    options_.input_port = 19432;
    search_.program_name = AdbSearch::System().program_name;
    search_.executable_directory = temp_ / "host";
    search_.find_on_search_path = [this](const std::string&) { return on_search_path_; };
    search_.environment_folder = [this](const char* variable) {
      const auto found = environment_.find(variable);
      return found == environment_.end() ? fs::path() : found->second;
    };
    search_.user_sdk_folder = [this] { return user_sdk_; };
  }

  // A fake adb at `folder`/adb, answering as `plan` says.
  fs::path InstallAdb(const fs::path& folder, const std::vector<std::string>& plan = {}) {
    fs::create_directories(folder);
    const fs::path adb = folder / search_.program_name;
    fs::copy_file(ORVANE_FAKE_ADB_BINARY, adb, fs::copy_options::overwrite_existing);
    std::ofstream plan_file(folder / "adb-plan.txt");
    for (const std::string& line : plan) {
      plan_file << line << "\n";
    }
    return adb;
  }
  std::vector<std::string> Calls(const fs::path& adb) const {
    return ReadLines(adb.parent_path() / "adb-calls.txt");
  }

  TempFolder temp_{"orvane-usb"};
  HostOptions options_;
  AdbSearch search_;
  fs::path on_search_path_;
  std::map<std::string, fs::path> environment_;
  fs::path user_sdk_;
};

TEST_F(UsbRouteTest, StartsTheServerThenReversesControlMediaAndInputInOrder) {
  // The server's own outcome is never reported.
  const fs::path adb = InstallAdb(temp_ / "host" / "tools", {"start-server=1"});
  LogCapture log;
  EXPECT_TRUE(UsbRoute(search_).Setup(options_));
  EXPECT_EQ(Calls(adb), (std::vector<std::string>{"start-server", Reverse(19430), Reverse(19431),
                                                  Reverse(19432)}));
  const std::u8string adb_text = adb.u8string();
  EXPECT_TRUE(log.Contains("[Main] Using adb: " + std::string(adb_text.begin(), adb_text.end())));
  EXPECT_TRUE(
      log.Contains("[Main] USB route configured via ADB reverse (ports 19430/19431/19432)"));
}

TEST_F(UsbRouteTest, StopsAtTheFirstFailingPortWithOneWarning) {
  struct Case {
    uint16_t failing_port;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {19430, {"start-server", Reverse(19430)}},
      {19431, {"start-server", Reverse(19430), Reverse(19431)}},
      {19432, {"start-server", Reverse(19430), Reverse(19431), Reverse(19432)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing_port);
    fs::remove_all(temp_ / "host");
    const fs::path adb = InstallAdb(temp_ / "host" / "tools", {Reverse(c.failing_port) + "=3"});
    LogCapture log;
    EXPECT_FALSE(UsbRoute(search_).Setup(options_));
    EXPECT_EQ(Calls(adb), c.calls);
    EXPECT_EQ(log.Count("[Main] adb reverse failed"), 1u);
    EXPECT_TRUE(log.Contains("[Main] adb reverse failed for tcp:" + std::to_string(c.failing_port) +
                             " (started=1 exit=3)"));
    EXPECT_FALSE(log.Contains("USB route configured"));
  }
}

TEST_F(UsbRouteTest, AnAdbThatHangsIsKilledAfterSixSecondsAndCountsAsFailed) {
  const fs::path adb = InstallAdb(temp_ / "host" / "tools", {Reverse(19430) + "=hang"});
  LogCapture log;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(UsbRoute(search_).Setup(options_));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(UsbRoute::kAdbTimeLimitMs));
  EXPECT_TRUE(log.Contains("[Main] adb reverse failed for tcp:19430 (started=0 exit=1)"));
  EXPECT_EQ(Calls(adb), (std::vector<std::string>{"start-server", Reverse(19430)}));
}

TEST_F(UsbRouteTest, WithoutAdbNothingRunsAndTheRouteIsSkipped) {
  LogCapture log;
  EXPECT_FALSE(UsbRoute(search_).Setup(options_));
  EXPECT_TRUE(log.Contains("[Main] " + search_.program_name +
                           " not found (bundled/PATH/ANDROID_SDK_ROOT/ANDROID_HOME). USB route "
                           "setup skipped"));
}

TEST_F(UsbRouteTest, CandidatesFollowTheSearchOrder) {
  on_search_path_ = temp_ / "path" / "adb";
  environment_ = {{"ANDROID_SDK_ROOT", temp_ / "sdk-root"}, {"ANDROID_HOME", temp_ / "home"}};
  user_sdk_ = temp_ / "user-sdk";
  const std::string& adb = search_.program_name;
  const std::vector<fs::path> expected = {
      temp_ / "host" / "tools" / adb,
      temp_ / "host" / "platform-tools" / adb,
      on_search_path_,
      temp_ / "sdk-root" / "platform-tools" / adb,
      temp_ / "home" / "platform-tools" / adb,
      temp_ / "user-sdk" / "platform-tools" / adb,
      fs::path("tools") / "android-sdk" / "platform-tools" / adb,
  };
  EXPECT_EQ(AdbCandidates(search_), expected);
}

TEST_F(UsbRouteTest, FindAdbTakesTheFirstExistingFile) {
  // Beside the executable beats the search path.
  const fs::path bundled = InstallAdb(temp_ / "host" / "tools");
  on_search_path_ = InstallAdb(temp_ / "path");
  EXPECT_EQ(FindAdb(search_), bundled);

  // A folder named like adb is no program; an SDK folder without platform-tools/adb is
  // passed over.
  fs::remove(bundled);
  fs::create_directories(bundled);
  on_search_path_.clear();
  environment_["ANDROID_HOME"] = temp_ / "empty-sdk";
  fs::create_directories(temp_ / "empty-sdk");
  user_sdk_ = temp_ / "user-sdk";
  const fs::path user_copy = InstallAdb(user_sdk_ / "platform-tools");
  EXPECT_EQ(FindAdb(search_), user_copy);
}

}  // namespace
}  // namespace orvane
