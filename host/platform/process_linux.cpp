#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/clock.h"

extern char** environ;

namespace orvane {
namespace {

constexpr uint32_t kPollIntervalUs = 5000;

}  // namespace

bool RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                uint32_t timeout_ms, uint32_t* exit_code) {
  if (exit_code != nullptr) {
    *exit_code = 1;
  }
  if (program.empty()) {
    return false;
  }
  std::vector<char*> argv;
  std::string program_text = program.string();
  argv.push_back(program_text.data());
  std::vector<std::string> owned(arguments);
  for (std::string& argument : owned) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  // The host blocks its console signals for a dedicated thread; a child must not inherit that.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t empty;
  sigemptyset(&empty);
  posix_spawnattr_setsigmask(&attributes, &empty);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int spawn_error =
      posix_spawn(&pid, program_text.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (spawn_error != 0) {
    return false;
  }

  const uint64_t deadline = TickCountMs() + timeout_ms;
  int wait_status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &wait_status, WNOHANG);
    if (done == pid) {
      break;
    }
    if (done < 0 && errno != EINTR) {
      return false;
    }
    if (TickCountMs() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wait_status, 0);
      return false;
    }
    usleep(kPollIntervalUs);
  }
  if (exit_code != nullptr && WIFEXITED(wait_status)) {
    *exit_code = static_cast<uint32_t>(WEXITSTATUS(wait_status));
  }
  return true;
}

std::filesystem::path CurrentExecutablePath(uint32_t* error) {
  std::error_code failure;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", failure);
  if (failure && error != nullptr) {
    *error = static_cast<uint32_t>(failure.value());
  }
  return failure ? std::filesystem::path() : path;
}

}  // namespace orvane
