#include "session/stream_controller.h"

#include "base/logger.h"
#include "session/frame_loop.h"

namespace orvane {

StreamController::StreamController(const SessionEnvironment& environment,
                                   std::atomic<bool>& session_running, ProtocolHandler& handler,
                                   TcpControlServer& control_server, UdpMediaSender& media_sender,
                                   InputChannel& input)
    : environment_(environment),
      session_running_(session_running),
      handler_(handler),
      control_server_(control_server),
      media_sender_(media_sender),
      input_(input),
      abr_([clock = environment.now_us] { return clock() * 1000; }),
      audio_(environment.platform.audio_capture, environment.platform.opus_transform,
             [clock = environment.now_us] { return clock() / 1000; }) {}

StreamController::~StreamController() {
  Stop();
}

void StreamController::Initialize(uint32_t monitors) {
  monitors_ = monitors;
  const PlatformServices& platform = environment_.platform;
  if (auto cursor = platform.cursor_source ? platform.cursor_source() : nullptr) {
    cursor_tracker_ = std::make_unique<CursorTracker>(std::move(cursor));
  }
  audio_.Initialize();  // without audio the session goes on
}

void StreamController::SetCaptureSelection(uint32_t output_index, const std::string& backend) {
  capture_output_index_ = output_index;
  requested_backend_ = backend;
  ResolveCaptureChoice();
}

void StreamController::ResolveCaptureChoice() {
  const PlatformServices& platform = environment_.platform;
  capture_backend_ =
      platform.capture_choice ? platform.capture_choice(requested_backend_) : requested_backend_;
}

bool StreamController::Start() {
  // Decided on the thread, not on `streaming`: a stop from another thread clears the
  // flag while the old loop may still run.
  if (frame_loop_thread_.joinable()) {
    Stop();
  }
  // What "auto" means may change between streams (a desktop that refused its screen cast).
  ResolveCaptureChoice();
  const NegotiatedStream stream = handler_.Negotiated();
  const std::string session_id = handler_.SessionId();
  LOG_INFO_COLLAPSED("[Session] Starting stream: %s %ux%u @%ufps %ukbps",
                     VideoCodecName(stream.codec), stream.width, stream.height, stream.fps,
                     stream.bitrate_kbps);
  LOG_INFO_COLLAPSED("[Session] Capture source selection: output_index=%u backend=%s",
                     capture_output_index_, capture_backend_.c_str());
  if (monitors_ > 1) {
    LOG_WARN_COLLAPSED(
        "[Session] Driverless mode supports a single streamed source; requested=%u using=1",
        monitors_);
  }
  handler_.messages().SendStreamWarmup(session_id, "initializing-capture", "prepare_display", 2000);

  if (!BuildPipeline(stream)) {
    LOG_ERROR_COLLAPSED("[Session] Stream start aborted: no monitor pipeline is ready");
    handler_.messages().SendErrorMessage(3, "No monitor pipeline available", true);
    handler_.messages().SendStreamStopped(session_id);
    return false;
  }
  const SessionKeys keys = handler_.Keys();
  media_sender_.SetSessionKey(keys.primary);
  if (keys.primary.empty()) {
    media_sender_.SetEnvelopeCounter(0);
  } else {
    LOG_INFO_COLLAPSED("[Session] Transport encryption enabled");
  }
  input_.StartStream(keys.primary);
  audio_.Start(
      stream.audio_enabled,
      [this](uint32_t sequence, uint64_t timestamp_us, uint8_t duration_ms, const uint8_t* data,
             uint32_t size) {
        media_sender_.SendAudioPacket(sequence, timestamp_us, duration_ms, data, size);
      },
      streaming_);
  abr_.Reset(stream.bitrate_kbps);
  handler_.messages().SendStreamWarmup(session_id, "starting-frame-loop", "waiting_first_frame",
                                       12000);
  streaming_.store(true);
  handler_.messages().SendStreamStarted(session_id);
  if (cursor_tracker_) {
    cursor_tracker_->RequestFullUpdate();  // the client of a new stream has no cursor yet
  }
  const PlatformServices& platform = environment_.platform;
  keyframe_requested_.store(false);  // a new stream starts with one anyway
  FrameLoopContext context{session_running_,
                           streaming_,
                           keyframe_requested_,
                           handler_,
                           media_sender_,
                           abr_,
                           control_server_,
                           cursor_tracker_.get(),
                           capture_output_index_,
                           capture_backend_,
                           platform.capturers ? platform.capturers() : ScreenCapturers{},
                           environment_.now_us};
  frame_loop_thread_ = std::thread([this, context = std::move(context)]() mutable {
    FrameLoop(std::move(context), *pipeline_).Run();
  });
  return true;
}

bool StreamController::BuildPipeline(const NegotiatedStream& stream) {
  DestroyPipeline();
  MonitorPipeline pipeline;
  pipeline.monitor_index = 0;
  pipeline.width = stream.width;
  pipeline.height = stream.height;
  pipeline.fps = stream.fps;
  const VideoEncoderFactory& encoder_factory = environment_.platform.video_encoder;
  pipeline.encoder = encoder_factory ? encoder_factory() : nullptr;
  pipeline.ready = pipeline.encoder != nullptr &&
                   pipeline.encoder->Initialize(stream.codec, stream.width, stream.height,
                                                stream.fps, stream.bitrate_kbps);
  if (pipeline.ready) {
    LOG_INFO_COLLAPSED("[Session] Monitor %u pipeline ready", pipeline.monitor_index);
    pipeline_ = std::move(pipeline);
    return true;
  }
  const Status status = pipeline.encoder
                            ? pipeline.encoder->LastStatus()
                            : Status::Failure(StatusCode::kCodec, "No video encoder available");
  LOG_ERROR_COLLAPSED("[Session] Monitor %u encoder init failed", pipeline.monitor_index);
  LOG_WARN_COLLAPSED("[Session] Encoder failure details monitor=%u code=%d msg=%s hr=0x%08lX",
                     pipeline.monitor_index, status.code, status.message.c_str(),
                     static_cast<unsigned long>(status.hr));
  if (pipeline.encoder) {
    pipeline.encoder->Shutdown();
  }
  handler_.messages().SendErrorMessage(2, "Video encoder init failed", true);
  return false;
}

void StreamController::Stop() {
  streaming_.store(false);
  if (frame_loop_thread_.joinable()) {
    frame_loop_thread_.join();
  }
  audio_.Stop();
  DestroyPipeline();
}

void StreamController::DestroyPipeline() {
  if (pipeline_ && pipeline_->encoder) {
    pipeline_->ready = false;
    pipeline_->encoder->Shutdown();
  }
  pipeline_.reset();
}

void StreamController::ApplyQualityChange() {
  abr_.Reset(handler_.Negotiated().bitrate_kbps);
}

void StreamController::ApplyClientStats(const ClientStatsReport& report) {
  if (streaming_.load()) {
    abr_.Update(report.rtt_ms, report.packet_loss_pct);
  }
}

}  // namespace orvane
