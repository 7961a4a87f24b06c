#include "video/portal_capturer_pipewire.h"

#include <unistd.h>

#include <chrono>
#include <utility>

#include "base/logger.h"

namespace orvane {

PortalCapturer::PortalCapturer(std::shared_ptr<PortalScreenCast> portal,
                               std::shared_ptr<StreamCursorFeed> cursor)
    : portal_(std::move(portal)), cursor_(std::move(cursor)), consumer_(cursor_) {}

PortalCapturer::~PortalCapturer() {
  Release();
}

bool PortalCapturer::Initialize(uint32_t, uint32_t, uint32_t) {
  if (stop_.stopped()) {
    return false;
  }
  outcome_.reset();
  portal_->Rearm();
  start_thread_ = std::thread([this] {
    PortalStream stream;
    const PortalOutcome outcome = portal_->Start(stream);
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ = stream;
    outcome_ = outcome;
    answered_.notify_all();
  });
  LOG_INFO_COLLAPSED("[Capture] Asking the desktop to share a screen (ScreenCast portal)");
  return true;
}

bool PortalCapturer::TakeAnswer(uint32_t wait_ms) {
  PortalOutcome outcome;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!answered_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                            [this] { return outcome_.has_value(); })) {
      return false;
    }
    outcome = *outcome_;
  }
  start_thread_.join();
  switch (outcome) {
    case PortalOutcome::kStarted:
      streaming_ = consumer_.Open(std::exchange(stream_.fd, -1), stream_.node_id);
      if (cursor_ != nullptr) {
        cursor_->SetStreamOrigin(stream_.x, stream_.y);
        cursor_->SetDrawnInPicture(streaming_ && !stream_.cursor_as_metadata);
      }
      if (!streaming_) {
        stop_.Stop("[Capture] The shared screen's PipeWire stream could not be opened; no video",
                   kStreamUnreadableNotice);
      }
      break;
    case PortalOutcome::kRefused:
      stop_.Stop(
          "[Capture] Screen sharing was declined in the desktop's dialog; no video until the "
          "stream is started again and sharing is allowed",
          "Screen sharing was not allowed on the computer. Start the stream again and allow "
          "sharing in the desktop's dialog.");
      break;
    case PortalOutcome::kEnded:
      stop_.Stop(
          "[Capture] The desktop ended screen sharing; no video until the stream is started "
          "again",
          kSharingEndedNotice);
      break;
    case PortalOutcome::kUnavailable:
      stop_.Stop("[Capture] No ScreenCast portal; no video",
                 "This computer's desktop offers no screen sharing (ScreenCast portal).");
      break;
    case PortalOutcome::kCancelled:
      break;
  }
  return true;
}

CapturedFrame PortalCapturer::Capture(uint32_t wait_ms) {
  CapturedFrame frame;
  if (stop_.stopped()) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  if (!streaming_) {
    if (!TakeAnswer(wait_ms)) {
      frame.status = CaptureStatus::kNoNewFrame;
      return frame;
    }
    frame.status = streaming_ ? CaptureStatus::kNoNewFrame : CaptureStatus::kInvalidated;
    return frame;
  }
  frame = consumer_.Capture(wait_ms);
  if (frame.status == CaptureStatus::kInvalidated) {
    // The desktop's own controls (or a revoked permission) ended the cast.
    stop_.Stop(
        "[Capture] The desktop ended screen sharing; no video until the stream is started again",
        kSharingEndedNotice);
  }
  return frame;
}

void PortalCapturer::Release() {
  if (start_thread_.joinable()) {
    portal_->Cancel();
    start_thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_.fd >= 0) {
      close(stream_.fd);
      stream_.fd = -1;
    }
  }
  consumer_.Close();
  if (streaming_ || outcome_.has_value()) {
    portal_->CloseSession();
  }
  streaming_ = false;
  outcome_.reset();
}

}  // namespace orvane
