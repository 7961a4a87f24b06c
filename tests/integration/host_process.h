#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvane::testing {

// The real host binary, started with its own XDG folders and its console captured. Its
// session bus and system bus are addresses where nothing listens (so no host a test starts
// announces itself on the machine's network), its program search path is empty (no adb,
// no xdg-open) and its session is not a Wayland one, unless `environment` (set on top of this
// process's own) says otherwise.
class HostProcess {
 public:
  using Environment = std::vector<std::pair<std::string, std::string>>;

  HostProcess(const std::vector<std::string>& arguments, const std::filesystem::path& home,
              const Environment& environment = {});
  // Another program in the host's place, e.g. wine with the Windows host and its arguments;
  // it keeps this process's search path and session bus.
  HostProcess(const std::string& program, const std::vector<std::string>& arguments,
              const std::filesystem::path& home, const Environment& environment = {});
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  std::string Output() const;
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  void Signal(int signal_number) const;
  // SIGINT, sent again (up to three times, 5 s apart) until the host says it heard it:
  // wine turns the signal into a console event from a thread it creates for it, and on a
  // loaded machine one has gone unheard.
  void Interrupt() const;
  // Waits (bounded) for the process to end; returns its exit code, or -1.
  int WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  // A search path of one empty folder and no session bus, then `environment`.
  static Environment Isolated(const std::filesystem::path& home, const Environment& environment);
  void ReadOutput(int fd);

  pid_t pid_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string output_;
};

}  // namespace orvane::testing
