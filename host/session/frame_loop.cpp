#include "session/frame_loop.h"

#include <algorithm>
#include <cstring>

#include "base/logger.h"
#include "platform/clock.h"
#include "platform/multimedia_task.h"

namespace orvane {
namespace {

constexpr uint64_t kReinitIntervalMs = 500;
constexpr uint32_t kProtectedContentError = 2101;
// A capture source that cannot show the screen for a reason the user can act on (the
// desktop's sharing dialog was refused); the session runs on without video.
constexpr uint32_t kCaptureRefusedError = 2102;
// A still desktop's picture is encoded again a second after the last change, and every
// five seconds after that. The client learns of a datagram lost from the last picture
// before the desktop stood still only when the next frame arrives (and then asks for a
// keyframe), and its loss and jitter figures in the 5 s statistics need datagrams to
// measure. Each repeat costs a whole encode, so a long still spell gets few of them.
constexpr uint64_t kFirstRefreshUs = 1000000;
constexpr uint64_t kLaterRefreshUs = 5000000;

}  // namespace

FrameLoop::FrameLoop(FrameLoopContext context, MonitorPipeline& pipeline)
    : context_(std::move(context)),
      pipeline_(pipeline),
      diagnostics_(MonotonicNanos()),
      capture_(std::move(context_.capturers), diagnostics_.counters().backend_switch,
               context_.capture_output_index, context_.capture_backend, pipeline.width,
               pipeline.height) {}

void FrameLoop::Run() {
  const MultimediaTask task(L"Pro Audio");
  LOG_INFO_COLLAPSED("[FrameLoop] Started (MMCSS=%s, monitors=%u)", task.state(), 1u);
  capture_.LogKnownLimitations();
  LOG_INFO_COLLAPSED("[Capture] Requested source output_index=%u backend=%s",
                     context_.capture_output_index, context_.capture_backend.c_str());
  if (!capture_.Select()) {
    LOG_ERROR_COLLAPSED("[Capture] Failed to initialize any capture backend");
  }
  keyframe_policy_.emplace(context_.now_us);
  while (context_.streaming.load() && context_.session_running.load()) {
    if (pacer_.TakeSlot(context_.handler.Negotiated().fps)) {
      FrameSlot();
    }
    PollCursorIfDue();
    const uint64_t now_ns = MonotonicNanos();
    if (const auto figures =
            diagnostics_.TakeStatsReport(now_ns, context_.handler.messages().stream_active())) {
      context_.handler.messages().SendStatsReport(
          context_.handler.SessionId(), figures->capture_ms_p50, figures->capture_ms_p95,
          figures->encode_ms_p50, figures->encode_ms_p95, context_.abr.current_kbps());
    }
    diagnostics_.LogPipeline(NowMs(), capture_.ActiveName());
    // Between frames the loop wakes only to read the cursor when that is due.
    pacer_.Wait(cursor_schedule_.NsUntilDue(MonotonicNanos()));
  }
  diagnostics_.LogStopped(capture_.ActiveName());
  capture_.LogSourceCounters();
  capture_.Release();
}

void FrameLoop::PollCursorIfDue() {
  const uint64_t now_ns = MonotonicNanos();
  if (cursor_schedule_.NsUntilDue(now_ns) > 0) {
    return;
  }
  bool changed = false;
  if (context_.cursor_tracker != nullptr) {
    if (const auto update = context_.cursor_tracker->Poll()) {
      const std::string bytes = CursorControlMessage(*update).SerializeAsString();
      context_.control_server.SendFrame(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        static_cast<uint32_t>(bytes.size()));
      changed = true;
    }
  }
  cursor_schedule_.Polled(now_ns, changed);
}

uint32_t FrameLoop::CaptureWaitMs() const {
  // Rounded up: a wait that ended just short of the cursor's turn would cost another
  // round of the loop for nothing.
  const uint64_t until_cursor_ms =
      (cursor_schedule_.NsUntilDue(MonotonicNanos()) + 999999) / 1000000;
  return static_cast<uint32_t>(
      std::min<uint64_t>(until_cursor_ms, CursorPollSchedule::kStillPeriodNs / 1000000));
}

void FrameLoop::SendCaptureNotices() {
  for (const std::string& notice : capture_.TakeClientNotices()) {
    context_.handler.messages().SendErrorMessage(kCaptureRefusedError, notice, false);
  }
}

void FrameLoop::FrameSlot() {
  // A source leaves a notice only as it gives up, so they are looked for only where capture
  // has no source or just lost it, not with every frame.
  if (capture_.active() == nullptr) {
    Reinitialize(NowMs());
    SendCaptureNotices();
    return;
  }
  PipelineCounters& counters = diagnostics_.counters();
  const uint64_t capture_start_us = MonotonicMicros();
  const CapturedFrame frame = capture_.Capture(CaptureWaitMs());
  // A frame is stamped when its pixels were taken: a capture that waited for a change
  // would otherwise date the picture back to the start of its wait.
  const uint64_t timestamp_us = MonotonicMicros();
  switch (frame.status) {
    case CaptureStatus::kFrameReady:
      diagnostics_.AddCaptureSample(static_cast<float>(timestamp_us - capture_start_us) / 1000.0f);
      if (frame.protected_content_masked) {
        WarnProtectedContent(NowMs());
      }
      break;
    case CaptureStatus::kNoNewFrame:
      ++(ActiveIsGraphicsCapture() ? counters.wgc_timeout : counters.dup_timeout);
      RepeatIfOwed(timestamp_us);
      return;
    case CaptureStatus::kInvalidated:
      Invalidate(NowMs());
      SendCaptureNotices();
      return;
    case CaptureStatus::kFailed:
      // A failed capture may have given up the memory of its last frame.
      held_frame_.ForgetLent();
      ++counters.capture_fail;
      return;
  }
  if (frame.data == nullptr || frame.row_pitch == 0) {
    return;
  }
  held_frame_.Keep(frame, capture_.active());
  EncodeAndSend(frame, timestamp_us);
  last_encode_was_repeat_ = false;
}

void FrameLoop::RepeatIfOwed(uint64_t timestamp_us) {
  if (!held_frame_.HasPictureFor(capture_.active())) {
    return;
  }
  const uint64_t refresh_us = last_encode_was_repeat_ ? kLaterRefreshUs : kFirstRefreshUs;
  if (!context_.keyframe_requested.load() && context_.now_us() - last_encode_us_ < refresh_us) {
    return;
  }
  EncodeAndSend(held_frame_.View(), timestamp_us);
  last_encode_was_repeat_ = true;
}

void FrameLoop::EncodeAndSend(const CapturedFrame& frame, uint64_t timestamp_us) {
  EncodeAccessUnits(frame, timestamp_us);
  if (diagnostics_.NoteFrameProduced(frame_number_, timestamp_us, context_.handler.SessionId())) {
    context_.handler.messages().SendFirstFrameProduced(context_.handler.SessionId(), timestamp_us,
                                                       frame_number_);
  }
  ++frame_number_;
}

void FrameLoop::WarnProtectedContent(uint64_t now_ms) {
  if (!protected_content_warning_.Allow(now_ms)) {
    return;
  }
  LOG_WARN("[Capture] Protected content appears masked by %s (best-effort diagnostic)",
           capture_.ActiveDescription());
  context_.handler.messages().SendErrorMessage(
      kProtectedContentError,
      "Protected content cannot be captured; display may show black content in those regions.",
      false);
}

void FrameLoop::Invalidate(uint64_t now_ms) {
  if (invalidation_log_.Allow(now_ms)) {
    const ScreenCapturer* active = capture_.active();
    if (active != nullptr && !ActiveIsGraphicsCapture() && !active->last_resort()) {
      LOG_WARN("[Capture] %s invalidated; releasing and recreating duplication object",
               capture_.ActiveDescription());
    } else {
      LOG_WARN("[Capture] %s invalidated; releasing and recreating capture objects",
               capture_.ActiveDescription());
    }
  }
  held_frame_.ForgetLent();
  capture_.Invalidate();
  Reinitialize(now_ms);
}

bool FrameLoop::ActiveIsGraphicsCapture() const {
  const ScreenCapturer* active = capture_.active();
  return active != nullptr && std::strcmp(active->name(), "wgc") == 0;
}

void FrameLoop::Reinitialize(uint64_t now_ms) {
  if (last_reinit_ms_ && now_ms - *last_reinit_ms_ < kReinitIntervalMs) {
    return;
  }
  last_reinit_ms_ = now_ms;
  if (!capture_.Select()) {
    return;
  }
  capture_.CountReinit();
  // The diagnostics keep the two counters they always had: graphics capture's, and the
  // duplication kind's for every other source but a last resort.
  PipelineCounters& counters = diagnostics_.counters();
  if (capture_.active()->last_resort()) {
    return;
  }
  if (!ActiveIsGraphicsCapture()) {
    LOG_INFO("[Capture] %s recreated successfully (reinit=%llu)", capture_.ActiveDescription(),
             static_cast<unsigned long long>(++counters.dup_reinit));
  } else {
    LOG_INFO("[Capture] %s capture recreated successfully (reinit=%llu)",
             capture_.ActiveDescription(), static_cast<unsigned long long>(++counters.wgc_reinit));
  }
}

void FrameLoop::EncodeAccessUnits(const CapturedFrame& frame, uint64_t timestamp_us) {
  last_encode_us_ = context_.now_us();
  PipelineCounters& counters = diagnostics_.counters();
  VideoEncoder& encoder = *pipeline_.encoder;
  const FramePlan plan = keyframe_policy_->PlanFrame(
      frame_number_, context_.keyframe_requested.exchange(false), context_.abr.current_kbps());
  if (plan.force_keyframe) {
    encoder.RequestKeyframe();
  }
  if (plan.bitrate_changed) {
    encoder.SetBitrate(plan.bitrate_kbps);
  }
  encoder.SetFrameRate(context_.handler.Negotiated().fps);

  const uint64_t encode_start_us = MonotonicMicros();
  if (!encoder.EncodeCapturedFrame(frame, timestamp_us)) {
    diagnostics_.NoteEncodeFailure(pipeline_.monitor_index, encoder.LastStatus());
    ++counters.total_frames;
    return;
  }
  diagnostics_.AddEncodeSample(static_cast<float>(MonotonicMicros() - encode_start_us) / 1000.0f);
  EncodedAccessUnit unit;
  while (encoder.ReceiveAccessUnit(unit)) {
    if (unit.bytes.empty()) {
      diagnostics_.NoteEmptyAccessUnit(pipeline_.monitor_index, frame_number_, timestamp_us,
                                       NowMs());
      continue;
    }
    const SendOutcome outcome =
        SendAccessUnit(plan, unit.keyframe, pipeline_.frame_counter, [&](uint64_t number) {
          return context_.media_sender
              .SendVideoFrame(static_cast<uint32_t>(number), unit.timestamp_us, unit.keyframe,
                              unit.bytes.data(), static_cast<uint32_t>(unit.bytes.size()))
              .ok;
        });
    counters.access_units += outcome.sent;
    counters.send_fail += outcome.failed;
  }
  ++counters.total_frames;
}

}  // namespace orvane
