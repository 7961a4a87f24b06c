#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <thread>

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
  // Its output is neither captured nor shown, as a windowless process's on Windows.
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawn_error =
      posix_spawn(&pid, program_text.c_str(), &files, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
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

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

bool WaitForProcessExit(uint32_t pid, uint32_t timeout_ms) {
  const auto process = static_cast<pid_t>(pid);
  if (process <= 0) {
    return true;
  }
#ifdef SYS_pidfd_open
  // A pidfd becomes readable the moment the process ends: no polling of its id, which a
  // new process could take over meanwhile.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, process, 0));
  if (pidfd >= 0) {
    pollfd watched{pidfd, POLLIN, 0};
    int ready = 0;
    do {
      ready = poll(&watched, 1, static_cast<int>(timeout_ms));
    } while (ready < 0 && errno == EINTR);
    close(pidfd);
    return ready > 0;
  }
  if (errno == ESRCH) {
    return true;
  }
#endif
  // Kernels before 5.3: look for the id, a few times a second, until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (kill(process, 0) == 0 || errno == EPERM) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
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

std::filesystem::path FindOnSearchPath(const std::string& file_name) {
  const char* search_path = std::getenv("PATH");
  if (search_path == nullptr || file_name.empty()) {
    return {};
  }
  std::string_view rest(search_path);
  for (;;) {
    const size_t colon = rest.find(':');
    // An empty entry stands for the current folder, as the shell reads it.
    const std::string_view entry = rest.substr(0, colon);
    std::filesystem::path candidate =
        std::filesystem::path(entry.empty() ? "." : std::string(entry)) / file_name;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(candidate, ignored) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) {
      return {};
    }
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace orvane
