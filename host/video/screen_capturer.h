#pragma once

#include <cstdint>
#include <string>

#include "video/captured_frame.h"

namespace orvane {

// One platform capture source. `CaptureBackend` owns the platform's sources in preference
// order and decides which is active; a capturer only talks to the OS.
class ScreenCapturer {
 public:
  virtual ~ScreenCapturer() = default;

  // Short word that names the active backend in logs ("x11shm").
  virtual const char* name() const = 0;
  // How warnings call the mechanism ("X11 MIT-SHM").
  virtual const char* description() const = 0;

  // How the tray's Capture Backend menu calls the source ("DXGI", "WGC (Beta)").
  virtual const char* tray_title() const { return description(); }
  // A last resort is used only when no other source starts, and is never a user's choice.
  virtual bool last_resort() const { return false; }
  // A source that shows another desktop than the others (a Wayland session's screen cast
  // beside X11 capture, which sees only the X clients there) is used only when chosen,
  // and then alone: no other source stands in for it, and it stands in for none.
  virtual bool chosen_only() const { return false; }
  // Whether this machine can offer the source at all; an unavailable source is greyed in
  // the tray and skipped by selection.
  virtual bool available() const { return true; }

  // Whether a source that could not start only because it was out of reach for a while
  // (another desktop had the input) is worth starting again now. Capture returns to it
  // from a less preferred source when it is.
  virtual bool ReadyToRetry() { return false; }

  // A limitation worth one line in the log when a stream starts, or null.
  virtual const char* known_limitation() const { return nullptr; }

  // What the client should be told once, in its user's words (the user refused to share
  // the screen), or empty. Taking it clears it.
  virtual std::string TakeClientNotice() { return {}; }

  // Prepares capture of the output at `output_index` for a stream of width x height.
  // Called only on a released capturer.
  virtual bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) = 0;
  // Waits at most `wait_ms` for a new image. The frame may have any size; the caller
  // scales it to the stream size.
  virtual CapturedFrame Capture(uint32_t wait_ms) = 0;
  // Frees every OS object; safe to call when nothing is held.
  virtual void Release() = 0;
};

}  // namespace orvane
