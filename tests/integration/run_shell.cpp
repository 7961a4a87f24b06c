#include "integration/run_shell.h"

#include <sys/wait.h>

#include <cstdlib>

namespace orvane::testing {

int RunShell(const std::string& command, const std::filesystem::path& log) {
  return RunShell(command + " > '" + log.string() + "' 2>&1");
}

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace orvane::testing
