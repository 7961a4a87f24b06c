#include "platform/process.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A relaunched host waits on the one it replaces: it must wake when that one ends, and
// must not take a process that still runs for ended.
TEST(WaitForProcessExitTest, WakesWhenTheProcessEndsAndNotBefore) {
  EXPECT_FALSE(WaitForProcessExit(CurrentProcessId(), 100));

  char shell[] = "/bin/sh";
  char flag[] = "-c";
  char script[] = "read line";  // ends once its input closes
  char* arguments[] = {shell, flag, script, nullptr};
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_addclose(&actions, input[1]);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, shell, &actions, nullptr, arguments, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);

  EXPECT_FALSE(WaitForProcessExit(static_cast<uint32_t>(child), 100));
  close(input[1]);
  EXPECT_TRUE(WaitForProcessExit(static_cast<uint32_t>(child), 60000));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WaitForProcessExit(static_cast<uint32_t>(child), 100)) << "gone altogether";
}

}  // namespace
}  // namespace orvane
