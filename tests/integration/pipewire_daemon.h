#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "integration/dbus_session.h"

namespace orvane::testing {

// A private PipeWire daemon and its session manager (which links a consumer to the node
// it asks for), with their own runtime, config and state folders under `folder` and a
// private session bus. Stopped on destruction.
class PipeWireDaemon {
 public:
  explicit PipeWireDaemon(const std::filesystem::path& folder);
  ~PipeWireDaemon();
  PipeWireDaemon(const PipeWireDaemon&) = delete;
  PipeWireDaemon& operator=(const PipeWireDaemon&) = delete;

  bool started() const { return started_; }
  const std::string& socket_path() const { return socket_; }
  const std::string& bus_address() const { return bus_->address(); }
  const std::filesystem::path& runtime_folder() const { return runtime_; }
  // A new connection to the daemon; -1 on failure.
  int Connect() const;

 private:
  pid_t Spawn(const char* program, const std::filesystem::path& log) const;

  std::filesystem::path folder_;
  std::filesystem::path runtime_;
  std::string socket_;
  std::unique_ptr<DbusDaemon> bus_;
  pid_t daemon_ = -1;
  pid_t session_manager_ = -1;
  bool started_ = false;
};

}  // namespace orvane::testing
