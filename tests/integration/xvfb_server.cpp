#include "integration/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>

namespace orvane::testing {
namespace {

// Reads what Xvfb writes to its display descriptor: the display number and a newline,
// once it accepts connections.
std::string ReadDisplayNumber(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  std::string number;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd descriptor{fd, POLLIN, 0};
    if (poll(&descriptor, 1, 100) <= 0) {
      continue;
    }
    char c = 0;
    if (read(fd, &c, 1) != 1) {
      return {};
    }
    if (c == '\n') {
      return number;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
      return {};
    }
    number += c;
  }
  return {};
}

}  // namespace

XvfbServer::XvfbServer(const std::string& screen) {
  int fds[2];
  if (pipe(fds) != 0) {
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    const int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
    const std::string fd_text = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", screen.c_str(),
           "-nolisten", "tcp", "-br", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  if (pid_ > 0) {
    const std::string number = ReadDisplayNumber(fds[0]);
    if (!number.empty()) {
      display_ = ":" + number;
    }
  }
  close(fds[0]);
  if (display_.empty()) {
    Stop();
  }
}

XvfbServer::~XvfbServer() {
  Stop();
}

void XvfbServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

}  // namespace orvane::testing
