#include <string>
#include <vector>

#include "base/logger.h"
#include "client/cli/command_line.h"
#include "platform/platform_runtime.h"

int main(int argc, char** argv) {
  // The shared crypto and transport code logs; its lines must not mix with the results.
  orvane::Logger::Instance().SetConsoleStream(stderr);
  if (!orvane::StartPlatformRuntime().ok()) {
    return 1;
  }
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const int result = orvane::client::cli::RunCommandLine(arguments);
  orvane::StopPlatformRuntime();
  return result;
}
