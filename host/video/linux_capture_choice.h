#pragma once

#include <string>

namespace orvane {

// The capture source names on Linux.
inline constexpr const char* kX11CaptureSource = "x11shm";
inline constexpr const char* kPortalCaptureSource = "portal";
inline constexpr const char* kMutterCaptureSource = "mutter";

// What the session tells about the desktop, as read (null where a variable is unset).
struct LinuxDesktopFacts {
  const char* wayland_display = nullptr;
  const char* session_type = nullptr;
  const char* current_desktop = nullptr;  // XDG_CURRENT_DESKTOP, colon-separated names
  // Mutter's remote-desktop service has its name on the session bus.
  bool mutter_on_bus = false;
  // Mutter refused the last session this host asked for.
  bool mutter_refused = false;
};

struct LinuxCaptureDecision {
  // A source's name: "x11shm", "portal" or "mutter", or what else the user chose.
  std::string source;
  // Why, for the log.
  std::string reason;
};

// True when XDG_CURRENT_DESKTOP names GNOME among its entries.
bool IsGnomeDesktop(const char* current_desktop);

// Turns the user's capture choice into the source a Linux desktop is captured with. A
// named source stays as it is. "auto" on a Wayland session (WAYLAND_DISPLAY set, or
// XDG_SESSION_TYPE "wayland"), where X11 capture would see only the X clients, takes
// Mutter's own screen cast when the desktop is GNOME and Mutter answers on the bus (no
// dialog, and input through the same session) unless it refused the last session, the
// ScreenCast portal otherwise; X11 elsewhere.
LinuxCaptureDecision ResolveLinuxCaptureChoice(const std::string& choice,
                                               const LinuxDesktopFacts& facts);

}  // namespace orvane
