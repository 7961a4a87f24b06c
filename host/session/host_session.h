#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "app/host_options.h"
#include "net/tcp_control_server.h"

namespace orvane {

enum class SessionClientState : uint32_t { kWaiting = 0, kConnected = 1, kDisconnected = 2 };

// Raised with the client's IPv4 address text for kConnected, an empty text otherwise.
using ClientStateCallback = std::function<void(SessionClientState, const std::string& text)>;

// Serves mobile clients one after another until it is told to stop.
class HostSession {
 public:
  HostSession() = default;
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  bool Initialize(const HostOptions& options);
  void SetCaptureSelection(uint32_t output_index, CaptureBackendChoice backend);
  void SetClientStateCallback(ClientStateCallback callback);

  // Blocks until RequestStop, or until the first client cannot be awaited.
  void Run();
  // Safe from any thread at any time after construction; returns at once.
  void RequestStop();

 private:
  bool WaitForClient(bool promotion);
  void ControlReceiveLoop();
  void RaiseClientState(SessionClientState state, const std::string& text);

  TcpControlServer control_server_;
  HostOptions options_;
  std::thread control_thread_;
  std::atomic<bool> session_running_{false};
  std::atomic<bool> stop_requested_{false};
  ClientStateCallback client_state_callback_;
  uint32_t capture_output_index_ = 0;
  CaptureBackendChoice capture_backend_ = CaptureBackendChoice::kAuto;
};

}  // namespace orvane
