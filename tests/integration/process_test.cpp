#include "platform/process.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(RunProcessTest, ReportsTheExitCodeOfAProcessThatEnds) {
  uint32_t exit_code = 0;
  EXPECT_TRUE(RunProcess("/bin/sh", {"-c", "exit 3"}, 5000, &exit_code));
  EXPECT_EQ(exit_code, 3u);
}

TEST(RunProcessTest, KillsAProcessThatOutlivesItsTimeLimit) {
  uint32_t exit_code = 0;
  EXPECT_FALSE(RunProcess("/bin/sh", {"-c", "sleep 30"}, 100, &exit_code));
  EXPECT_EQ(exit_code, 1u);
}

TEST(RunProcessTest, MissingOrEmptyProgramFails) {
  uint32_t exit_code = 0;
  EXPECT_FALSE(RunProcess("", {}, 1000, &exit_code));
  EXPECT_FALSE(RunProcess("/nonexistent/adb", {"start-server"}, 1000, nullptr));
  EXPECT_EQ(exit_code, 1u);
}

}  // namespace
}  // namespace orvane
