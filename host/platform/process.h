#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

// Runs `program` with `arguments` (no window, output neither captured nor shown) and waits at most
// `timeout_ms`. True only when the process ended within the time; a process still running
// then is killed. `exit_code` (optional) is 1 unless the process ended and reported one.
bool RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                uint32_t timeout_ms, uint32_t* exit_code);

// The running process's id.
uint32_t CurrentProcessId();

// Waits until the process `pid` has ended, at most `timeout_ms`; true when it has (or
// never existed), false when it still runs then or cannot be watched.
bool WaitForProcessExit(uint32_t pid, uint32_t timeout_ms);

// Full path of the running executable; empty with `error` set when it cannot be read.
std::filesystem::path CurrentExecutablePath(uint32_t* error);

// The folder that holds the running executable; empty when unknown.
inline std::filesystem::path ExecutableDirectory() {
  return CurrentExecutablePath(nullptr).parent_path();
}

// The program `file_name` as the system's search path finds it (Windows: SearchPathW;
// Linux: the folders of $PATH, executable files only); empty when it is not found.
std::filesystem::path FindOnSearchPath(const std::string& file_name);

}  // namespace orvane
