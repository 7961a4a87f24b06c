#pragma once

#include <memory>

#include "video/screen_capturer.h"

namespace orvane {

// The platform's capturers, one per role; an empty slot is a role the platform cannot
// fill. On Linux the duplication role is X11 MIT-SHM of an XRandR monitor and the
// screen-copy role a plain GetImage of the whole screen; no capturer fills the
// per-monitor role there.
struct ScreenCapturers {
  std::unique_ptr<ScreenCapturer> duplication;       // ActiveBackend::kDuplication
  std::unique_ptr<ScreenCapturer> graphics_capture;  // ActiveBackend::kGraphicsCapture
  std::unique_ptr<ScreenCapturer> screen_copy;       // ActiveBackend::kScreenCopy, the last resort
};

}  // namespace orvane
