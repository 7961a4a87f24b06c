#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

// Runs `program` with `arguments` (no window, output not captured) and waits at most
// `timeout_ms`. True only when the process ended within the time; a process still running
// then is killed. `exit_code` (optional) is 1 unless the process ended and reported one.
bool RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                uint32_t timeout_ms, uint32_t* exit_code);

// Full path of the running executable; empty with `error` set when it cannot be read.
std::filesystem::path CurrentExecutablePath(uint32_t* error);

}  // namespace orvane
