#include "video/linux_capture_choice.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(LinuxCaptureChoiceTest, AutoTakesThePortalOnWaylandAndX11Otherwise) {
  const struct {
    const char* choice;
    const char* wayland_display;
    const char* session_type;
    const char* source;
    const char* reason;
  } cases[] = {
      {"auto", "wayland-0", "wayland", "portal", "Wayland session (WAYLAND_DISPLAY=wayland-0)"},
      {"auto", "wayland-1", nullptr, "portal", "Wayland session (WAYLAND_DISPLAY=wayland-1)"},
      {"auto", nullptr, "wayland", "portal", "Wayland session (XDG_SESSION_TYPE=wayland)"},
      {"auto", "", "wayland", "portal", "Wayland session (XDG_SESSION_TYPE=wayland)"},
      {"auto", nullptr, "x11", "x11shm",
       "no Wayland session (WAYLAND_DISPLAY unset, "
       "XDG_SESSION_TYPE=x11)"},
      {"auto", "", nullptr, "x11shm",
       "no Wayland session (WAYLAND_DISPLAY unset, "
       "XDG_SESSION_TYPE=unset)"},
      {"x11shm", "wayland-0", "wayland", "x11shm", "chosen by the user"},
      {"portal", nullptr, "x11", "portal", "chosen by the user"},
  };
  for (const auto& c : cases) {
    const LinuxCaptureDecision decision =
        ResolveLinuxCaptureChoice(c.choice, c.wayland_display, c.session_type);
    EXPECT_EQ(decision.source, c.source) << c.reason;
    EXPECT_EQ(decision.reason, c.reason);
  }
}

}  // namespace
}  // namespace orvane
