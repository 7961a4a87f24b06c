#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/rate_limiter.h"
#include "net/abr_controller.h"
#include "net/tcp_control_server.h"
#include "net/udp_media_sender.h"
#include "protocol/protocol_handler.h"
#include "video/capture_backend.h"
#include "video/capture_backend_choice.h"
#include "video/cursor_poll_schedule.h"
#include "video/cursor_tracker.h"
#include "video/frame_diagnostics.h"
#include "video/frame_pacer.h"
#include "video/held_frame.h"
#include "video/keyframe_policy.h"
#include "video/monitor_pipeline.h"
#include "video/screen_capturers.h"

namespace orvane {

// What the frame loop works with; all of it belongs to the session and outlives the loop,
// except the capturers, which the loop owns for its stream.
struct FrameLoopContext {
  std::atomic<bool>& session_running;
  std::atomic<bool>& streaming;
  // Set by the session for each client request; taken by the loop for the next frame.
  std::atomic<bool>& keyframe_requested;
  ProtocolHandler& handler;
  UdpMediaSender& media_sender;
  AbrController& abr;
  TcpControlServer& control_server;
  CursorTracker* cursor_tracker = nullptr;  // none when the cursor cannot be read
  uint32_t capture_output_index = 0;
  std::string capture_backend = kAutoCaptureSource;
  ScreenCapturers capturers;
  // The session's clock: times the warm-up, rate limits and diagnostics.
  std::function<uint64_t()> now_us;
};

// The stream's own thread: paces frame slots, captures, encodes and sends the pipeline's
// video, and keeps the client informed (first frame, cursor, periodic stats), until the
// stream or the session stops. It is the only caller of the encoder's rate, frame-rate
// and keyframe setters, so an encoder never sees two threads.
class FrameLoop {
 public:
  FrameLoop(FrameLoopContext context, MonitorPipeline& pipeline);
  void Run();

 private:
  void FrameSlot();
  // Rate limits and diagnostics run on the session's clock, like the warm-up.
  uint64_t NowMs() const { return context_.now_us() / 1000; }
  // Tells the client what a capture source could not do and the user can change.
  void SendCaptureNotices();
  // Reads the cursor when its schedule says so and sends what changed.
  void PollCursorIfDue();
  // A capture waits for a change of the picture until the cursor is due to be read.
  uint32_t CaptureWaitMs() const;
  void WarnProtectedContent(uint64_t now_ms);
  void Invalidate(uint64_t now_ms);
  void Reinitialize(uint64_t now_ms);
  // The diagnostics count graphics capture apart from every other source.
  bool ActiveIsGraphicsCapture() const;
  // A slot whose capture saw no change: the held picture goes out again only for a
  // keyframe request or a refresh that is due.
  void RepeatIfOwed(uint64_t timestamp_us);
  // Encodes, sends and counts one frame.
  void EncodeAndSend(const CapturedFrame& frame, uint64_t timestamp_us);
  void EncodeAccessUnits(const CapturedFrame& frame, uint64_t timestamp_us);

  FrameLoopContext context_;
  MonitorPipeline& pipeline_;
  FrameDiagnostics diagnostics_;
  CaptureBackend capture_;
  // Made once capture is set up: the warm-up counts from the first frame that can come.
  std::optional<KeyframePolicy> keyframe_policy_;
  FramePacer pacer_;
  CursorPollSchedule cursor_schedule_;
  uint64_t frame_number_ = 1;
  std::optional<uint64_t> last_reinit_ms_;
  HeldFrame held_frame_;
  // When the last picture went to the encoder, on the session's clock.
  uint64_t last_encode_us_ = 0;
  bool last_encode_was_repeat_ = false;
  RateLimiter invalidation_log_{1000};
  RateLimiter protected_content_warning_{3000};
};

}  // namespace orvane
