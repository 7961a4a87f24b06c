#include "platform/console.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

#include "platform/process.h"

namespace orvane {
namespace {

std::mutex g_mutex;
ConsoleEventHandler g_handler;
std::thread g_signal_thread;
std::atomic<bool> g_signal_thread_running{false};
std::atomic<bool> g_detached{false};

sigset_t ConsoleSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

void Dispatch(int signal_number) {
  uint32_t event = kConsoleCtrlC;
  if (signal_number == SIGHUP) {
    if (g_detached.load()) {
      return;  // no terminal of ours is left to close
    }
    event = kConsoleClose;
  }
  ConsoleEventHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_handler;
  }
  if (handler && handler(event) && event == kConsoleClose) {
    std::fflush(nullptr);
    _exit(0);
  }
}

// Signals are taken synchronously on this thread, so the handler may lock and log
// like any other thread instead of being restricted to async-signal-safe calls.
void SignalLoop() {
  const sigset_t signals = ConsoleSignals();
  const timespec period{0, 100 * 1000 * 1000};
  while (g_signal_thread_running.load()) {
    const int signal_number = sigtimedwait(&signals, nullptr, &period);
    if (signal_number > 0) {
      Dispatch(signal_number);
    }
  }
}

void RedirectStandardStreams() {
  const int null_fd = open("/dev/null", O_RDWR);
  if (null_fd < 0) {
    return;
  }
  dup2(null_fd, STDIN_FILENO);
  dup2(null_fd, STDOUT_FILENO);
  dup2(null_fd, STDERR_FILENO);
  if (null_fd > STDERR_FILENO) {
    close(null_fd);
  }
}

// Closes every descriptor above the standard three; only async-signal-safe calls.
void CloseInheritedDescriptors() {
  if (syscall(SYS_close_range, 3u, ~0u, 0u) == 0) {
    return;
  }
  rlimit limit{};
  const rlim_t highest = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                             ? limit.rlim_cur
                             : 65536;
  for (rlim_t fd = 3; fd < highest; ++fd) {
    close(static_cast<int>(fd));
  }
}

}  // namespace

void InstallConsoleEventHandler(ConsoleEventHandler handler) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handler = std::move(handler);
  }
  // Blocked here, before the host starts its other threads, so that they inherit the mask
  // and only the signal thread ever receives these signals.
  const sigset_t signals = ConsoleSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  if (!g_signal_thread_running.exchange(true)) {
    g_signal_thread = std::thread(SignalLoop);
  }
}

void RemoveConsoleEventHandler() {
  if (g_signal_thread_running.exchange(false) && g_signal_thread.joinable()) {
    g_signal_thread.join();
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  g_handler = nullptr;
}

void DetachFromConsole() {
  g_detached.store(true);
  std::fflush(nullptr);
  RedirectStandardStreams();
  setsid();  // fails harmlessly when already a session leader
}

RelaunchResult RelaunchDetached(const std::vector<std::string>& arguments) {
  uint32_t path_error = 0;
  std::string path = CurrentExecutablePath(&path_error).string();
  if (path.empty()) {
    return {RelaunchResult::Outcome::kPathLookupFailed, path_error};
  }
  std::vector<std::string> owned(arguments);
  std::vector<char*> argv{path.data()};
  for (std::string& argument : owned) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) {
    return {RelaunchResult::Outcome::kStartFailed, static_cast<uint32_t>(errno)};
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on. The copy waits until this process is
    // gone so that the ports it still holds are free when the copy binds them.
    setsid();
    RedirectStandardStreams();
    const sigset_t none = [] {
      sigset_t set;
      sigemptyset(&set);
      return set;
    }();
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    const timespec pause{0, 20 * 1000 * 1000};
    for (int waited = 0; getppid() == parent && waited < 500; ++waited) {
      nanosleep(&pause, nullptr);
    }
    // The copy must not inherit this process's sockets: it would hold the listening
    // control socket it is about to bind again, and fail, while clients queue on it.
    CloseInheritedDescriptors();
    execv(argv[0], argv.data());
    _exit(127);
  }
  return {};
}

}  // namespace orvane
