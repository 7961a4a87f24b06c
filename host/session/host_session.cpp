#include "session/host_session.h"

#include <chrono>
#include <vector>

#include "app/logger.h"
#include "platform/system_info.h"
#include "session/control_frame_opener.h"

namespace orvane {
namespace {

constexpr auto kSupervisorPeriod = std::chrono::milliseconds(50);
constexpr auto kControlIdlePeriod = std::chrono::milliseconds(20);

void LogStatus(const char* what, const Status& status) {
  LOG_ERROR("[Session] %s code=%d msg=%s hr=0x%08lX", what, status.code, status.message.c_str(),
            static_cast<unsigned long>(status.hr));
}

}  // namespace

HostSession::HostSession(SessionEnvironment environment)
    : environment_(std::move(environment)), handler_(environment_.trust) {}

HostSession::~HostSession() {
  session_running_.store(false);
  streaming_.store(false);
  handler_.ClearStreamRequests();
  control_server_.Stop();
  if (control_thread_.joinable()) {
    control_thread_.join();
  }
  client_state_callback_ = nullptr;
  DestroyPipelines();
}

bool HostSession::Initialize(const HostOptions& options) {
  options_ = options;
  if (!control_server_.StartListening(options_.control_port)) {
    LOG_ERROR("[Session] %s", control_server_.LastStatus().message.c_str());
    return false;
  }
  handler_.SetUdpPorts(options_.media_port, options_.input_port);
  const std::string computer_name = ComputerName();
  handler_.SetHostIdentity("orvane-" + computer_name, computer_name);
  handler_.SetSendCallback(
      [this](const uint8_t* data, uint32_t size) { return control_server_.SendFrame(data, size); });
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
    LogStatus("Failed to accept client", control_server_.LastStatus());
    return false;
  }
  return AdoptActiveClient(promotion);
}

bool HostSession::AdoptActiveClient(bool promotion) {
  adopted_connection_id_ = control_server_.ActiveConnectionId();
  if (streaming_.load()) {
    // The stream belonged to the client that left; the newcomer starts its own.
    LOG_WARN("[Session] Active control client disconnected -- stopping stream");
    StopStream();
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
  SupervisorLoop();
  StopStream();
  control_thread_.join();
  control_server_.Stop();
}

void HostSession::SupervisorLoop() {
  while (session_running_.load()) {
    if (!control_server_.HasActiveClient()) {
      if (streaming_.load()) {
        LOG_WARN("[Session] Active control client disconnected -- stopping stream");
        StopStream();
      }
      if (!WaitForClient(true)) {
        std::this_thread::sleep_for(kSupervisorPeriod);
      }
      continue;
    }
    if (control_server_.ActiveConnectionId() != adopted_connection_id_) {
      AdoptActiveClient(true);
    }
    if (handler_.stream_start_requested()) {
      if (!StartStream()) {
        std::this_thread::sleep_for(kSupervisorPeriod);
        continue;
      }
    }
    if (handler_.stream_stop_requested()) {
      handler_.ClearStreamRequests();
      StopStream();
      LOG_INFO("[Session] Stream stopped");
    }
    std::this_thread::sleep_for(kSupervisorPeriod);
  }
}

void HostSession::ControlReceiveLoop() {
  ControlFrameOpener opener(handler_);
  std::vector<uint8_t> frame;
  uint64_t served_connection_id = 0;
  while (session_running_.load()) {
    if (!control_server_.HasActiveClient()) {
      std::this_thread::sleep_for(kControlIdlePeriod);
      continue;
    }
    uint64_t connection_id = 0;
    if (!control_server_.ReceiveFrame(frame, &connection_id)) {
      const Status status = control_server_.LastStatus();
      LOG_INFO("[Session] Control connection closed for active client (code=%d, msg=%s)",
               status.code, status.message.c_str());
      RaiseClientState(SessionClientState::kDisconnected, {});
      std::this_thread::sleep_for(kControlIdlePeriod);
      continue;
    }
    if (connection_id != served_connection_id) {
      // Nothing the previous client negotiated or proved carries over to this one.
      served_connection_id = connection_id;
      handler_.ResetForNewClient();
    }
    const std::optional<std::vector<uint8_t>> payload = opener.Open(frame);
    if (!payload) {
      continue;
    }
    const Status status = handler_.HandleControlMessage(payload->data(), payload->size());
    if (!status.ok) {
      LOG_WARN("[Session] Control frame handling issue code=%d msg=%s", status.code,
               status.message.c_str());
    }
  }
}

bool HostSession::StartStream() {
  handler_.ClearStreamRequests();
  if (streaming_.load()) {
    // One frame loop and one set of pipelines per session: a second start restarts.
    StopStream();
  }
  const NegotiatedStream stream = handler_.Negotiated();
  const std::string session_id = handler_.SessionId();
  LOG_INFO("[Session] Starting stream: %s %ux%u @%ufps %ukbps", stream.codec == 2 ? "HEVC" : "H264",
           stream.width, stream.height, stream.fps, stream.bitrate_kbps);
  LOG_INFO("[Session] Capture source selection: output_index=%u backend=%s", capture_output_index_,
           CaptureBackendName(capture_backend_));
  if (options_.monitors > 1) {
    LOG_WARN("[Session] Driverless mode supports a single streamed source; requested=%u using=1",
             options_.monitors);
  }
  handler_.SendStreamWarmup(session_id, "initializing-capture", "prepare_display", 2000);

  if (!BuildPipeline(stream)) {
    LOG_ERROR("[Session] Stream start aborted: no monitor pipeline is ready");
    handler_.SendErrorMessage(3, "No monitor pipeline available", true);
    handler_.SendStreamStopped(session_id);
    DestroyPipelines();
    return false;
  }
  handler_.SendStreamWarmup(session_id, "starting-frame-loop", "waiting_first_frame", 12000);
  streaming_.store(true);
  handler_.SendStreamStarted(session_id);
  return true;
}

bool HostSession::BuildPipeline(const NegotiatedStream& stream) {
  DestroyPipelines();
  MonitorPipeline& pipeline = pipelines_.emplace_back();
  pipeline.monitor_index = 0;
  pipeline.width = stream.width;
  pipeline.height = stream.height;
  pipeline.fps = stream.fps;
  pipeline.encoder = environment_.encoder_factory ? environment_.encoder_factory() : nullptr;
  pipeline.ready = pipeline.encoder != nullptr &&
                   pipeline.encoder->Initialize(stream.codec == 2 ? 2 : 1, stream.width,
                                                stream.height, stream.fps, stream.bitrate_kbps);
  pipeline.active = pipeline.ready;
  if (pipeline.ready) {
    LOG_INFO("[Session] Monitor %u pipeline ready", pipeline.monitor_index);
    return true;
  }
  const Status status = pipeline.encoder
                            ? pipeline.encoder->LastStatus()
                            : Status::Failure(StatusCode::kCodec, "No video encoder available");
  LOG_ERROR("[Session] Monitor %u encoder init failed", pipeline.monitor_index);
  LOG_WARN("[Session] Encoder failure details monitor=%u code=%d msg=%s hr=0x%08lX",
           pipeline.monitor_index, status.code, status.message.c_str(),
           static_cast<unsigned long>(status.hr));
  if (pipeline.encoder) {
    pipeline.encoder->Shutdown();
  }
  handler_.SendErrorMessage(2, "Video encoder init failed", true);
  return false;
}

void HostSession::StopStream() {
  streaming_.store(false);
  DestroyPipelines();
}

void HostSession::DestroyPipelines() {
  for (MonitorPipeline& pipeline : pipelines_) {
    pipeline.active = false;
    pipeline.ready = false;
    if (pipeline.encoder) {
      pipeline.encoder->Shutdown();
    }
  }
  pipelines_.clear();
}

void HostSession::RequestStop() {
  stop_requested_.store(true);
  session_running_.store(false);
  streaming_.store(false);
  handler_.ClearStreamRequests();
  control_server_.Stop();
}

}  // namespace orvane
