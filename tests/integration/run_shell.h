#pragma once

#include <filesystem>
#include <string>

namespace orvane::testing {

// Runs a command through the shell; returns its exit status (-1 when it did not exit) and
// leaves its output in `log`.
int RunShell(const std::string& command, const std::filesystem::path& log);
// The same with the command's output left where this process's goes (or where the
// command itself sends it).
int RunShell(const std::string& command);

}  // namespace orvane::testing
