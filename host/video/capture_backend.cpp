#include "video/capture_backend.h"

#include <utility>

#include "base/logger.h"

namespace orvane {

CaptureBackend::CaptureBackend(ScreenCapturers capturers, std::atomic<uint64_t>& backend_switch,
                               uint32_t output_index, CaptureBackendChoice choice, uint32_t width,
                               uint32_t height)
    : capturers_(std::move(capturers)),
      backend_switch_(backend_switch),
      output_index_(output_index),
      choice_(choice),
      width_(width),
      height_(height) {}

CaptureBackend::~CaptureBackend() {
  Release();
}

ScreenCapturer* CaptureBackend::CapturerFor(ActiveBackend role) const {
  switch (role) {
    case ActiveBackend::kDuplication:
      return capturers_.duplication.get();
    case ActiveBackend::kGraphicsCapture:
      return capturers_.graphics_capture.get();
    case ActiveBackend::kScreenCopy:
      return capturers_.screen_copy.get();
    case ActiveBackend::kNone:
      break;
  }
  return nullptr;
}

const char* CaptureBackend::RoleDescription(ActiveBackend role) const {
  if (const ScreenCapturer* capturer = CapturerFor(role)) {
    return capturer->description();
  }
  switch (role) {
    case ActiveBackend::kDuplication:
      return "Desktop Duplication";
    case ActiveBackend::kGraphicsCapture:
      return "WGC";
    case ActiveBackend::kScreenCopy:
      return "GDI";
    case ActiveBackend::kNone:
      break;
  }
  return "none";
}

const char* CaptureBackend::ActiveName() const {
  const ScreenCapturer* capturer = CapturerFor(active_);
  return capturer != nullptr ? capturer->name() : "none";
}

void CaptureBackend::LogKnownLimitations() const {
  for (const ScreenCapturer* capturer :
       {capturers_.duplication.get(), capturers_.graphics_capture.get(),
        capturers_.screen_copy.get()}) {
    if (capturer != nullptr && capturer->known_limitation() != nullptr) {
      LOG_INFO("[Capture] Known limitation: %s", capturer->known_limitation());
    }
  }
}

void CaptureBackend::SetActive(ActiveBackend role) {
  if (active_ == role) {
    return;
  }
  // Only one role holds OS objects at a time.
  if (ScreenCapturer* previous = CapturerFor(active_)) {
    previous->Release();
  }
  backend_switch_.fetch_add(1);
  active_ = role;
  oversized_frame_logged_ = false;
}

bool CaptureBackend::Activate(ActiveBackend role) {
  ScreenCapturer* capturer = CapturerFor(role);
  if (capturer == nullptr) {
    return false;
  }
  capturer->Release();
  if (role == ActiveBackend::kScreenCopy && (width_ == 0 || height_ == 0)) {
    return false;
  }
  if (!capturer->Initialize(output_index_, width_, height_)) {
    if (active_ == role) {
      SetActive(ActiveBackend::kNone);
    }
    return false;
  }
  const bool changed = active_ != role;
  SetActive(role);
  // The fallback is announced on every activation; the preferred backends only when
  // they take over.
  if (role == ActiveBackend::kScreenCopy) {
    LOG_WARN("[Capture] Active backend=%s fallback (%ux%u)", capturer->name(), width_, height_);
  } else if (changed) {
    LOG_INFO("[Capture] Active backend=%s output_index=%u", capturer->name(), output_index_);
  }
  return true;
}

bool CaptureBackend::ActivatePreferred(ActiveBackend first, ActiveBackend second, bool warn) {
  if (Activate(first)) {
    return true;
  }
  if (warn) {
    // Naming a fallback the platform does not have would mislead.
    if (CapturerFor(second) != nullptr) {
      LOG_WARN("[Capture] %s requested but unavailable; trying %s", RoleDescription(first),
               RoleDescription(second));
    } else {
      LOG_WARN("[Capture] %s requested but unavailable", RoleDescription(first));
    }
  }
  return Activate(second);
}

bool CaptureBackend::Select(bool allow_screen_copy) {
  bool active = false;
  switch (choice_) {
    case CaptureBackendChoice::kDuplication:
      active =
          ActivatePreferred(ActiveBackend::kDuplication, ActiveBackend::kGraphicsCapture, true);
      break;
    case CaptureBackendChoice::kGraphicsCapture:
      active =
          ActivatePreferred(ActiveBackend::kGraphicsCapture, ActiveBackend::kDuplication, true);
      break;
    default:
      active =
          ActivatePreferred(ActiveBackend::kDuplication, ActiveBackend::kGraphicsCapture, false);
      break;
  }
  if (!active && allow_screen_copy) {
    active = Activate(ActiveBackend::kScreenCopy);
  }
  return active;
}

CapturedFrame CaptureBackend::Capture(uint32_t wait_ms) {
  ScreenCapturer* capturer = CapturerFor(active_);
  if (capturer == nullptr) {
    CapturedFrame none;
    none.status = CaptureStatus::kInvalidated;
    return none;
  }
  CapturedFrame frame = capturer->Capture(wait_ms);
  if (frame.status != CaptureStatus::kFrameReady) {
    return frame;
  }
  if (!FrameFitsMemory(frame)) {
    if (!oversized_frame_logged_) {
      LOG_WARN("[Capture] %s frame %ux%u (pitch %u) exceeds its %zu bytes; dropped",
               capturer->name(), frame.width, frame.height, frame.row_pitch, frame.data_size);
      oversized_frame_logged_ = true;
    }
    return CapturedFrame{};
  }
  if (frame.width == width_ && frame.height == height_) {
    return frame;
  }
  return scaler_.Scale(frame, width_, height_);
}

void CaptureBackend::Invalidate() {
  if (ScreenCapturer* capturer = CapturerFor(active_)) {
    capturer->Release();
  }
  SetActive(ActiveBackend::kNone);
}

void CaptureBackend::Release() {
  for (ScreenCapturer* capturer : {capturers_.duplication.get(), capturers_.graphics_capture.get(),
                                   capturers_.screen_copy.get()}) {
    if (capturer != nullptr) {
      capturer->Release();
    }
  }
  active_ = ActiveBackend::kNone;
}

}  // namespace orvane
