#include "integration/host_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/log_capture.h"

namespace orvane::testing {

HostProcess::HostProcess(const std::vector<std::string>& arguments,
                         const std::filesystem::path& home, const Environment& environment)
    : HostProcess(ORVANE_HOST_BINARY, arguments, home, Isolated(home, environment)) {}

HostProcess::Environment HostProcess::Isolated(const std::filesystem::path& home,
                                               const Environment& environment) {
  const std::filesystem::path programs = home / "bin";
  std::filesystem::create_directories(programs);
  Environment isolated{
      {"PATH", programs.string()},
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home / "no-session-bus").string()},
      // An X11 session, whatever the test runs in: the host captures its test display.
      {"WAYLAND_DISPLAY", ""},
      {"XDG_SESSION_TYPE", ""}};
  isolated.insert(isolated.end(), environment.begin(), environment.end());
  return isolated;
}

HostProcess::HostProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& home, const Environment& environment) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    return;
  }
  std::vector<std::string> owned{program};
  owned.insert(owned.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : owned) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  const std::string config = (home / "config").string();
  const std::string state = (home / "state").string();
  const std::string no_bus = "unix:path=" + (home / "no-system-bus").string();

  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    dup2(pipe_fds[1], STDERR_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", no_bus.c_str(), 1);
    for (const auto& [name, value] : environment) {
      setenv(name.c_str(), value.c_str(), 1);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  reader_ = std::thread(&HostProcess::ReadOutput, this, pipe_fds[0]);
}

HostProcess::~HostProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (reader_.joinable()) {
    reader_.join();
  }
}

void HostProcess::ReadOutput(int fd) {
  char chunk[4096];
  for (ssize_t n; (n = read(fd, chunk, sizeof(chunk))) > 0;) {
    std::lock_guard<std::mutex> lock(mutex_);
    output_.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
}

std::string HostProcess::Output() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return output_;
}

bool HostProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) const {
  return WaitUntil([&] { return Output().find(text) != std::string::npos; }, limit);
}

void HostProcess::Signal(int signal_number) const {
  if (pid_ > 0) {
    kill(pid_, signal_number);
  }
}

void HostProcess::Interrupt() const {
  for (int attempt = 0; attempt < 3; ++attempt) {
    Signal(SIGINT);
    if (WaitForOutput("[Main] Shutdown signal received", std::chrono::seconds(5))) {
      return;
    }
  }
}

int HostProcess::WaitForExit(std::chrono::milliseconds limit) {
  int status = 0;
  const bool ended =
      WaitUntil([&] { return pid_ <= 0 || waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
  if (!ended) {
    return -1;
  }
  pid_ = -1;
  if (reader_.joinable()) {
    reader_.join();
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace orvane::testing
