#include "video/linux_capture_choice.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(LinuxCaptureChoiceTest, AutoTakesMutterOnGnomeWaylandThePortalOnOtherWaylandAndX11Otherwise) {
  const struct {
    const char* choice;
    LinuxDesktopFacts facts;
    const char* source;
    const char* reason;
  } cases[] = {
      {"auto",
       {"wayland-0", "wayland", nullptr, false},
       "portal",
       "Wayland session (WAYLAND_DISPLAY=wayland-0)"},
      {"auto",
       {"wayland-1", nullptr, "KDE", true},
       "portal",
       "Wayland session (WAYLAND_DISPLAY=wayland-1)"},
      {"auto",
       {nullptr, "wayland", nullptr, false},
       "portal",
       "Wayland session (XDG_SESSION_TYPE=wayland)"},
      {"auto",
       {"", "wayland", nullptr, false},
       "portal",
       "Wayland session (XDG_SESSION_TYPE=wayland)"},
      {"auto",
       {"wayland-0", "wayland", "ubuntu:GNOME", true},
       "mutter",
       "Wayland session (WAYLAND_DISPLAY=wayland-0), GNOME with Mutter's remote desktop on the "
       "bus"},
      {"auto",
       {"wayland-0", "wayland", "GNOME", false},
       "portal",
       "Wayland session (WAYLAND_DISPLAY=wayland-0), GNOME without Mutter's remote desktop on "
       "the bus"},
      // Only a whole entry names the desktop.
      {"auto",
       {"wayland-0", nullptr, "GNOME-Flashback-X", true},
       "portal",
       "Wayland session (WAYLAND_DISPLAY=wayland-0)"},
      // GNOME on X11 is captured through X11.
      {"auto",
       {nullptr, "x11", "GNOME", true},
       "x11shm",
       "no Wayland session (WAYLAND_DISPLAY unset, XDG_SESSION_TYPE=x11)"},
      {"auto",
       {"", nullptr, nullptr, false},
       "x11shm",
       "no Wayland session (WAYLAND_DISPLAY unset, XDG_SESSION_TYPE=unset)"},
      {"x11shm", {"wayland-0", "wayland", "GNOME", true}, "x11shm", "chosen by the user"},
      {"portal", {"wayland-0", "wayland", "GNOME", true}, "portal", "chosen by the user"},
      {"mutter", {nullptr, "x11", nullptr, false}, "mutter", "chosen by the user"},
  };
  for (const auto& c : cases) {
    const LinuxCaptureDecision decision = ResolveLinuxCaptureChoice(c.choice, c.facts);
    EXPECT_EQ(decision.source, c.source) << c.reason;
    EXPECT_EQ(decision.reason, c.reason);
  }
}

}  // namespace
}  // namespace orvane
