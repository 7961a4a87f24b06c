#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::testing {

// A private PulseAudio server: null sinks at 48 kHz stereo, its socket, state and runtime
// files in a folder of its own, no D-Bus and no other clients. Stopped on destruction.
class PulseServer {
 public:
  // The first sink is the default one.
  PulseServer(const std::filesystem::path& folder, const std::vector<std::string>& sinks);
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
