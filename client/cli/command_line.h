#pragma once

#include <span>
#include <string>

namespace orvane::client::cli {

// Runs `orvane-client <command> [options]` (the program name is not among `arguments`)
// and returns the exit code.
int RunCommandLine(std::span<const std::string> arguments);

}  // namespace orvane::client::cli
