#include "integration/run_shell.h"

#include <sys/wait.h>

#include <cstdlib>

namespace orvane::testing {

int RunShell(const std::string& command, const std::filesystem::path& log) {
  const int status = std::system((command + " > '" + log.string() + "' 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace orvane::testing
