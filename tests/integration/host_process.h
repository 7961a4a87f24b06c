#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

// The real host binary, started with its own XDG folders and its console captured. Its
// session bus is absent and its program search path empty (no adb, no xdg-open) unless
// `environment` ("NAME=value" entries) says otherwise.
class HostProcess {
 public:
  HostProcess(const std::vector<std::string>& arguments, const std::filesystem::path& home,
              const std::vector<std::string>& environment = {});
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool started() const { return pid_ > 0; }
  std::string Output() const;
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  void Signal(int signal_number) const;
  // Waits (bounded) for the process to end; returns its exit code, or -1.
  int WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  void ReadOutput(int fd);

  pid_t pid_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string output_;
};

}  // namespace orvane::testing
