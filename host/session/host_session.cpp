#include "session/host_session.h"

#include <chrono>
#include <vector>

#include "base/logger.h"
#include "platform/system_info.h"
#include "session/control_frame_opener.h"
#include "session/frame_loop.h"

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
  StopNetwork();
  if (control_thread_.joinable()) {
    control_thread_.join();
  }
  client_state_callback_ = nullptr;
  StopStream();
}

bool HostSession::Initialize(const HostOptions& options) {
  options_ = options;
  if (!control_server_.StartListening(options_.control_port)) {
    LOG_ERROR("[Session] %s", control_server_.LastStatus().message.c_str());
    return false;
  }
  if (!media_sender_.Open()) {
    LOG_ERROR("[Session] %s", media_sender_.LastStatus().message.c_str());
    return false;
  }
  const PlatformServices& platform = environment_.platform;
  if (auto cursor = platform.cursor_source ? platform.cursor_source() : nullptr) {
    cursor_tracker_ = std::make_unique<CursorTracker>(std::move(cursor));
  }
  if (platform.input_injector) {
    injector_ = platform.input_injector();
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
  if (!media_sender_.SetRemote(address, options_.media_port)) {
    LogStatus("Failed to configure UDP remote", media_sender_.LastStatus());
    return false;
  }
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
  const bool receiving_input = input_receiver_.Start(
      options_.input_port, [this](std::span<const uint8_t> datagram, const DatagramSource& source) {
        return HandleInputDatagram(datagram, source);
      });
  if (!receiving_input) {
    LogStatus("Failed to start input UDP receiver", input_receiver_.LastStatus());
    StopNetwork();
    return;
  }
  control_thread_ = std::thread(&HostSession::ControlReceiveLoop, this);
  SupervisorLoop();
  StopStream();
  control_thread_.join();
  StopNetwork();
}

void HostSession::StopNetwork() {
  input_receiver_.Stop();
  control_server_.Stop();
  media_sender_.Close();
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

void HostSession::AwaitAdoption(uint64_t connection_id) {
  while (session_running_.load() && adopted_connection_id_.load() < connection_id) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
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
      AwaitAdoption(connection_id);
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
    ApplyClientStats();
  }
}

void HostSession::ApplyClientStats() {
  if (handler_.TakeQualityChange()) {
    abr_.Reset(handler_.Negotiated().bitrate_kbps);
  }
  float rtt_ms = 0;
  float packet_loss_pct = 0;
  float jitter_ms = 0;
  if (!streaming_.load() || !handler_.TakePendingStats(rtt_ms, packet_loss_pct, jitter_ms)) {
    return;
  }
  const uint32_t bitrate_kbps = abr_.Update(rtt_ms, packet_loss_pct);
  if (bitrate_kbps == 0) {
    return;
  }
  // The frame loop reads the controller's bitrate for every frame; the encoders follow it
  // at once here so that a cut takes effect before the next keyframe.
  std::lock_guard<std::mutex> lock(pipelines_mutex_);
  for (MonitorPipeline& pipeline : pipelines_) {
    if (pipeline.active && pipeline.ready) {
      pipeline.encoder->SetBitrate(bitrate_kbps);
    }
  }
}

Status HostSession::HandleInputDatagram(std::span<const uint8_t> datagram,
                                        const DatagramSource& source) {
  std::vector<uint8_t> key;
  {
    std::lock_guard<std::mutex> lock(input_key_mutex_);
    key = input_key_;
  }
  const std::string control_address = control_server_.ActiveClientAddress();
  const InputSessionState state{handler_.authenticated() && !control_address.empty(),
                                control_address, key};
  const InputDecision decision = input_filter_.Decide(datagram, source, state);
  switch (decision.action) {
    case InputAction::kMoveMediaEndpoint: {
      const DatagramSource& endpoint = decision.media_endpoint;
      if (media_sender_.SetRemote(endpoint.address, endpoint.port)) {
        LOG_INFO("[Session] Media UDP remote endpoint updated via punch: %s:%u",
                 endpoint.address.c_str(), endpoint.port);
      } else {
        const Status status = media_sender_.LastStatus();
        LOG_WARN("[Session] Media UDP punch endpoint update failed code=%d msg=%s hr=0x%08lX",
                 status.code, status.message.c_str(), static_cast<unsigned long>(status.hr));
      }
      break;
    }
    case InputAction::kInject:
      Inject(decision.event);
      break;
    case InputAction::kDrop:
      break;
  }
  return decision.status;
}

void HostSession::Inject(const protocol::v1::InputEvent& event) {
  InputInjector* injector = injector_.get();
  if (injector == nullptr) {
    return;
  }
  switch (event.event_case()) {
    case protocol::v1::InputEvent::kTouch: {
      const auto& touch = event.touch();
      injector->InjectTouch(touch.action(), touch.pointer_id(), touch.x_normalized(),
                            touch.y_normalized(), touch.pressure());
      break;
    }
    case protocol::v1::InputEvent::kPen: {
      const auto& pen = event.pen();
      injector->InjectPen(pen.action(), pen.x_normalized(), pen.y_normalized(), pen.pressure(),
                          pen.tilt_x(), pen.tilt_y(), pen.orientation(), pen.button_state());
      break;
    }
    case protocol::v1::InputEvent::kKey: {
      const auto& key = event.key();
      injector->InjectKey(key.action(), key.key_code(), key.modifiers());
      break;
    }
    case protocol::v1::InputEvent::EVENT_NOT_SET:
      break;
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
    return false;
  }
  if (injector_) {
    injector_->SetScreenSize(stream.width, stream.height);
  }
  const SessionKeys keys = handler_.Keys();
  media_sender_.SetSessionKey(keys.primary);
  if (keys.primary.empty()) {
    media_sender_.SetEnvelopeCounter(0);
  } else {
    LOG_INFO("[Session] Transport encryption enabled");
  }
  {
    std::lock_guard<std::mutex> lock(input_key_mutex_);
    input_key_ = keys.primary;
  }
  abr_.Reset(stream.bitrate_kbps);
  handler_.SendStreamWarmup(session_id, "starting-frame-loop", "waiting_first_frame", 12000);
  streaming_.store(true);
  handler_.SendStreamStarted(session_id);
  if (cursor_tracker_) {
    cursor_tracker_->RequestFullUpdate();  // the client of a new stream has no cursor yet
  }
  frame_loop_thread_ = std::thread(
      RunFrameLoop,
      FrameLoopContext{
          session_running_, streaming_, pipelines_, handler_, media_sender_, abr_, control_server_,
          cursor_tracker_.get(),
          environment_.platform.capturers ? environment_.platform.capturers() : ScreenCapturers{},
          capture_output_index_, capture_backend_});
  return true;
}

bool HostSession::BuildPipeline(const NegotiatedStream& stream) {
  DestroyPipelines();
  MonitorPipeline pipeline;
  pipeline.monitor_index = 0;
  pipeline.width = stream.width;
  pipeline.height = stream.height;
  pipeline.fps = stream.fps;
  const VideoEncoderFactory& encoder_factory = environment_.platform.video_encoder;
  pipeline.encoder = encoder_factory ? encoder_factory() : nullptr;
  pipeline.ready = pipeline.encoder != nullptr &&
                   pipeline.encoder->Initialize(stream.codec == 2 ? 2 : 1, stream.width,
                                                stream.height, stream.fps, stream.bitrate_kbps);
  pipeline.active = pipeline.ready;
  if (pipeline.ready) {
    LOG_INFO("[Session] Monitor %u pipeline ready", pipeline.monitor_index);
    std::lock_guard<std::mutex> lock(pipelines_mutex_);
    pipelines_.push_back(std::move(pipeline));
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
  if (frame_loop_thread_.joinable()) {
    frame_loop_thread_.join();
  }
  DestroyPipelines();
}

void HostSession::DestroyPipelines() {
  std::vector<MonitorPipeline> retired;
  {
    std::lock_guard<std::mutex> lock(pipelines_mutex_);
    retired.swap(pipelines_);
  }
  for (MonitorPipeline& pipeline : retired) {
    pipeline.active = false;
    pipeline.ready = false;
    if (pipeline.encoder) {
      pipeline.encoder->Shutdown();
    }
  }
}

void HostSession::RequestStop() {
  stop_requested_.store(true);
  session_running_.store(false);
  streaming_.store(false);
  handler_.ClearStreamRequests();
  StopNetwork();
}

}  // namespace orvane
