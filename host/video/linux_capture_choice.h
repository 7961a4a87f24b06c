#pragma once

#include <string>

namespace orvane {

// The capture source names on Linux.
inline constexpr const char* kX11CaptureSource = "x11shm";
inline constexpr const char* kPortalCaptureSource = "portal";

struct LinuxCaptureDecision {
  // A source's name: "x11shm" or "portal", or what else the user chose.
  std::string source;
  // Why, for the log.
  std::string reason;
};

// Turns the user's capture choice into the source a Linux desktop is captured with. A
// named source stays as it is; "auto" takes the ScreenCast portal on a Wayland session
// (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE "wayland"), where X11 capture would see only
// the X clients, and X11 otherwise. The variables are passed as read (null when unset).
LinuxCaptureDecision ResolveLinuxCaptureChoice(const std::string& choice,
                                               const char* wayland_display,
                                               const char* session_type);

}  // namespace orvane
