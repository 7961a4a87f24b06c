#include <gtest/gtest.h>

#include "platform/platform_runtime.h"

// The host's process-wide services (sockets on Windows, SIGPIPE handling on Linux) are
// started by its entry point; the test binaries start them the same way.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!orvane::StartPlatformRuntime().ok()) {
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  orvane::StopPlatformRuntime();
  return result;
}
