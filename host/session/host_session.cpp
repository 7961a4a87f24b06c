#include "session/host_session.h"

#include <chrono>
#include <vector>

#include "app/logger.h"

namespace orvane {
namespace {

constexpr auto kSupervisorPeriod = std::chrono::milliseconds(50);
constexpr auto kControlIdlePeriod = std::chrono::milliseconds(20);

}  // namespace

HostSession::~HostSession() {
  session_running_.store(false);
  control_server_.Stop();
  if (control_thread_.joinable()) {
    control_thread_.join();
  }
  client_state_callback_ = nullptr;
}

bool HostSession::Initialize(const HostOptions& options) {
  options_ = options;
  if (!control_server_.StartListening(options_.control_port)) {
    LOG_ERROR("[Session] %s", control_server_.LastStatus().message.c_str());
    return false;
  }
  LOG_INFO("[Session] Initialized. Control=%u, Media=%u, Input=%u, Monitors=%u",
           options_.control_port, options_.media_port, options_.input_port, options_.monitors);
  return true;
}

void HostSession::SetCaptureSelection(uint32_t output_index, CaptureBackendChoice backend) {
  capture_output_index_ = output_index;
  capture_backend_ = backend;
}

void HostSession::SetClientStateCallback(ClientStateCallback callback) {
  client_state_callback_ = std::move(callback);
}

void HostSession::RaiseClientState(SessionClientState state, const std::string& text) {
  if (client_state_callback_) {
    client_state_callback_(state, text);
  }
}

bool HostSession::WaitForClient(bool promotion) {
  RaiseClientState(SessionClientState::kWaiting, {});
  LOG_INFO(promotion ? "[Session] Waiting for next control client..."
                     : "[Session] Waiting for mobile client connection...");
  if (!control_server_.WaitForActiveClient()) {
    const Status status = control_server_.LastStatus();
    LOG_ERROR("[Session] Failed to accept client code=%d msg=%s hr=0x%08lX", status.code,
              status.message.c_str(), static_cast<unsigned long>(status.hr));
    return false;
  }
  const std::string address = control_server_.ActiveClientAddress();
  LOG_INFO(
      promotion ? "[Session] Promoted/connected next client: %s" : "[Session] Active client: %s",
      address.c_str());
  RaiseClientState(SessionClientState::kConnected, address);
  return true;
}

void HostSession::Run() {
  session_running_.store(true);
  // A stop requested before Run must not be undone by the line above.
  if (stop_requested_.load()) {
    session_running_.store(false);
    return;
  }
  if (!WaitForClient(false)) {
    return;
  }
  control_thread_ = std::thread(&HostSession::ControlReceiveLoop, this);
  while (session_running_.load()) {
    if (control_server_.HasActiveClient()) {
      std::this_thread::sleep_for(kSupervisorPeriod);
    } else if (!WaitForClient(true)) {
      std::this_thread::sleep_for(kSupervisorPeriod);
    }
  }
  control_thread_.join();
  control_server_.Stop();
}

void HostSession::ControlReceiveLoop() {
  std::vector<uint8_t> frame;
  while (session_running_.load()) {
    if (!control_server_.HasActiveClient()) {
      std::this_thread::sleep_for(kControlIdlePeriod);
      continue;
    }
    if (!control_server_.ReceiveFrame(frame)) {
      const Status status = control_server_.LastStatus();
      LOG_INFO("[Session] Control connection closed for active client (code=%d, msg=%s)",
               status.code, status.message.c_str());
      RaiseClientState(SessionClientState::kDisconnected, {});
      std::this_thread::sleep_for(kControlIdlePeriod);
    }
  }
}

void HostSession::RequestStop() {
  stop_requested_.store(true);
  session_running_.store(false);
  control_server_.Stop();
}

}  // namespace orvane
