#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::testing {

// The format of a server's null sinks.
struct PulseSinkFormat {
  uint32_t rate = 48000;
  uint32_t channels = 2;
};

// A private PulseAudio server: null sinks (48 kHz stereo unless told otherwise), its
// socket, state and runtime files in a folder of its own, no D-Bus and no other clients.
// Stopped on destruction.
class PulseServer {
 public:
  // The first sink is the default one.
  PulseServer(const std::filesystem::path& folder, const std::vector<std::string>& sinks,
              PulseSinkFormat format = {});
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool started() const { return started_; }
  // The server as libpulse and its tools name it, e.g. for PULSE_SERVER.
  const std::string& address() const { return address_; }

  // Plays interleaved s16le stereo 48 kHz samples into `sink` and returns once played.
  bool Play(const std::vector<int16_t>& samples, const std::string& sink) const;
  bool SetDefaultSink(const std::string& sink) const;

 private:
  // Runs a client tool of the server (pacat, pactl) through the shell.
  bool RunTool(const std::string& command) const;

  std::filesystem::path folder_;
  std::string address_;
  pid_t pid_ = -1;
  bool started_ = false;
};

}  // namespace orvane::testing
