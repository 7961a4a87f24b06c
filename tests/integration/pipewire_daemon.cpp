#include "integration/pipewire_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/log_capture.h"
#include "support/pipewire_test_producer.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

void Stop(pid_t pid) {
  if (pid <= 0) {
    return;
  }
  kill(pid, SIGTERM);
  if (!WaitUntil([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 5s)) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

}  // namespace

PipeWireDaemon::PipeWireDaemon(const std::filesystem::path& folder)
    : folder_(folder), runtime_(folder / "runtime") {
  std::filesystem::create_directories(runtime_);
  std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
  socket_ = (runtime_ / "pipewire-0").string();
  bus_ = std::make_unique<DbusDaemon>(folder);
  if (bus_->address().empty()) {
    return;
  }
  daemon_ = Spawn("pipewire", folder / "pipewire.log");
  if (!WaitUntil([&] { return std::filesystem::exists(socket_); }, 15s)) {
    return;
  }
  session_manager_ = Spawn("wireplumber", folder / "wireplumber.log");
  started_ = session_manager_ > 0;
}

PipeWireDaemon::~PipeWireDaemon() {
  Stop(session_manager_);
  Stop(daemon_);
}

pid_t PipeWireDaemon::Spawn(const char* program, const std::filesystem::path& log) const {
  const pid_t pid = fork();
  if (pid == 0) {
    const int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(log_fd, STDOUT_FILENO);
    dup2(log_fd, STDERR_FILENO);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_->address().c_str(), 1);
    unsetenv("PIPEWIRE_REMOTE");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execlp(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int PipeWireDaemon::Connect() const {
  return ConnectPipeWireSocket(socket_.c_str());
}

}  // namespace orvane::testing
