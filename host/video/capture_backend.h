#pragma once

#include <atomic>
#include <cstdint>

#include "video/capture_backend_choice.h"
#include "video/captured_frame.h"
#include "video/frame_scaler.h"
#include "video/screen_capturers.h"

namespace orvane {

// The frame loop's capture: the platform capturers, the rule that picks one, and the
// guard and scaling that make every delivered frame stream-sized. Used by the frame
// loop thread only.
class CaptureBackend {
 public:
  // `backend_switch` belongs to the frame loop and counts every change of the active
  // backend, including the change to none on invalidation.
  CaptureBackend(ScreenCapturers capturers, std::atomic<uint64_t>& backend_switch,
                 uint32_t output_index, CaptureBackendChoice choice, uint32_t width,
                 uint32_t height);
  ~CaptureBackend();
  CaptureBackend(const CaptureBackend&) = delete;
  CaptureBackend& operator=(const CaptureBackend&) = delete;

  // Logs the known limitation of every capturer that has one.
  void LogKnownLimitations() const;

  // Initialise one role's capturer for the stream size and make it active.
  bool Activate(ActiveBackend role);

  // The selection rule: the chosen role, then the other of duplication and per-monitor
  // capture, then (when allowed) the screen copy. True when some backend is active.
  bool Select(bool allow_screen_copy);

  // Captures with the active backend. A ready frame is stream-sized: scaled when the
  // capturer's image has another size, Failed when it describes more than its memory.
  // With no active backend the result is Invalidated, asking for a new selection.
  CapturedFrame Capture(uint32_t wait_ms);

  // Releases the active capturer after it reported Invalidated; the backend becomes
  // none (a counted switch) until the next selection.
  void Invalidate();

  // Releases every capturer without counting a switch (end of the stream).
  void Release();

  ActiveBackend active() const { return active_; }
  // The active backend's log word ("x11shm", "dxgi", ...), or "none".
  const char* ActiveName() const;
  // How warnings call the active backend ("X11 MIT-SHM", "Desktop Duplication", ...).
  const char* ActiveDescription() const { return RoleDescription(active_); }

 private:
  ScreenCapturer* CapturerFor(ActiveBackend role) const;
  // Description used in warnings, also for a role no capturer fills.
  const char* RoleDescription(ActiveBackend role) const;
  bool ActivatePreferred(ActiveBackend first, ActiveBackend second, bool warn);
  void SetActive(ActiveBackend role);

  ScreenCapturers capturers_;
  std::atomic<uint64_t>& backend_switch_;
  const uint32_t output_index_;
  const CaptureBackendChoice choice_;
  const uint32_t width_;
  const uint32_t height_;
  ActiveBackend active_ = ActiveBackend::kNone;
  FrameScaler scaler_;
  // One warning per activation for a capturer that describes more than its memory.
  bool oversized_frame_logged_ = false;
};

}  // namespace orvane
