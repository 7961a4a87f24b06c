#include "integration/pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "support/log_capture.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

}  // namespace

PulseServer::PulseServer(const std::filesystem::path& folder, const std::vector<std::string>& sinks,
                         PulseSinkFormat format)
    : folder_(folder), address_("unix:" + (folder / "native").string()) {
  const std::filesystem::path runtime = folder / "runtime";
  std::filesystem::create_directories(runtime);
  std::vector<std::string> arguments = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                        "--use-pid-file=no"};
  for (const std::string& sink : sinks) {
    arguments.push_back("--load=module-null-sink sink_name=" + sink +
                        " rate=" + std::to_string(format.rate) +
                        " channels=" + std::to_string(format.channels));
  }
  arguments.push_back("--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                      (folder / "native").string());
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  const std::string log = (folder / "pulseaudio.log").string();

  pid_ = fork();
  if (pid_ == 0) {
    const int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(log_fd, STDOUT_FILENO);
    dup2(log_fd, STDERR_FILENO);
    setenv("HOME", folder.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
    setenv("PULSE_STATE_PATH", (folder / "state").c_str(), 1);
    // Neither a session bus nor one started through the X display.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    unsetenv("DISPLAY");
    execvp(argv[0], argv.data());
    _exit(127);
  }
  started_ = pid_ > 0 && WaitUntil([&] { return RunTool("pactl info"); }, 15s);
}

PulseServer::~PulseServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!WaitUntil([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5s)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
}

bool PulseServer::RunTool(const std::string& command) const {
  const std::string line = "PULSE_SERVER='" + address_ + "' " + command + " >> '" +
                           (folder_ / "tools.log").string() + "' 2>&1";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PulseServer::Play(const std::vector<int16_t>& samples, const std::string& sink) const {
  const std::filesystem::path raw = folder_ / ("play-" + sink + ".raw");
  {
    std::ofstream out(raw, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(samples.data()),
              static_cast<std::streamsize>(samples.size() * sizeof(int16_t)));
  }
  return RunTool("pacat --playback --device=" + sink +
                 " --format=s16le --rate=48000 --channels=2 --latency-msec=20 '" + raw.string() +
                 "'");
}

bool PulseServer::SetDefaultSink(const std::string& sink) const {
  return RunTool("pactl set-default-sink " + sink);
}

}  // namespace orvane::testing
