#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "video/captured_frame.h"
#include "video/frame_scaler.h"
#include "video/screen_capturers.h"

namespace orvane {

// What one source did during a stream.
struct CaptureSourceCounters {
  uint64_t frames = 0;
  uint64_t timeouts = 0;
  uint64_t reinits = 0;
  uint64_t failures = 0;
};

// The frame loop's capture: the platform's sources, the rule that picks one, and the
// guard and scaling that make every delivered frame stream-sized. Used by the frame
// loop thread only.
class CaptureBackend {
 public:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // `backend_switch` belongs to the frame loop and counts every change of the active
  // source, including the change to none on invalidation. `choice` is a source's name or
  // "auto".
  CaptureBackend(ScreenCapturers sources, std::atomic<uint64_t>& backend_switch,
                 uint32_t output_index, std::string choice, uint32_t width, uint32_t height);
  ~CaptureBackend();
  CaptureBackend(const CaptureBackend&) = delete;
  CaptureBackend& operator=(const CaptureBackend&) = delete;

  // Logs the known limitation of every source that has one.
  void LogKnownLimitations() const;
  // One line per source with what it did this stream.
  void LogSourceCounters() const;

  // Initialise the source at `index` for the stream size and make it active.
  bool Activate(size_t index);

  // The selection rule: the chosen source, then the other sources in list order, then
  // the last resorts only when none of those starts. True when some source is active.
  bool Select();

  // Captures with the active source and counts the result for it; first returns to a
  // more preferred source that is ready to be tried again. A ready frame is
  // stream-sized: scaled when the source's image has another size, Failed when it
  // describes more than its memory. With no active source the result is Invalidated,
  // asking for a new selection.
  CapturedFrame Capture(uint32_t wait_ms);

  // What the sources have to tell the client, each once.
  std::vector<std::string> TakeClientNotices();

  // Counts a successful reselection after invalidation for the active source.
  void CountReinit();

  // Releases the active source after it reported Invalidated; the backend becomes none
  // (a counted switch) until the next selection.
  void Invalidate();

  // Releases every source without counting a switch (end of the stream).
  void Release();

  // The active source, or null.
  const ScreenCapturer* active() const;
  size_t active_index() const { return active_; }
  // The active source's log word ("x11shm", "dxgi", ...), or "none".
  const char* ActiveName() const;
  // How warnings call the active source ("X11 MIT-SHM", "Desktop Duplication", ...).
  const char* ActiveDescription() const;
  const CaptureSourceCounters& counters(size_t index) const { return counters_[index]; }

 private:
  ScreenCapturer* SourceAt(size_t index) const;
  // The source the user chose, or kNone.
  size_t ChosenIndex() const;
  // The order of trial: the chosen source, the others, then the last resorts; a chosen
  // source that is chosen-only alone, and the other chosen-only sources never.
  std::vector<size_t> TrialOrder() const;
  void ReturnToPreferredSource();
  CapturedFrame CaptureActive(uint32_t wait_ms);
  void SetActive(size_t index);

  ScreenCapturers sources_;
  std::vector<CaptureSourceCounters> counters_;
  std::atomic<uint64_t>& backend_switch_;
  const uint32_t output_index_;
  const std::string choice_;
  const uint32_t width_;
  const uint32_t height_;
  size_t active_ = kNone;
  FrameScaler scaler_;
  // One warning per activation for a source that describes more than its memory.
  bool oversized_frame_logged_ = false;
  // The chosen source's absence is told once until some source starts: the frame loop
  // asks again four times a second.
  bool unavailable_logged_ = false;
};

}  // namespace orvane
