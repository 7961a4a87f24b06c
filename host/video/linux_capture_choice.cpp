#include "video/linux_capture_choice.h"

#include <string_view>

#include "video/capture_backend_choice.h"

namespace orvane {
namespace {

// Why a Wayland session's screen goes to the portal or Mutter.
std::string WaylandReason(const LinuxDesktopFacts& facts) {
  if (facts.wayland_display != nullptr && facts.wayland_display[0] != '\0') {
    return std::string("Wayland session (WAYLAND_DISPLAY=") + facts.wayland_display + ")";
  }
  return "Wayland session (XDG_SESSION_TYPE=wayland)";
}

}  // namespace

bool IsGnomeDesktop(const char* current_desktop) {
  if (current_desktop == nullptr) {
    return false;
  }
  std::string_view rest(current_desktop);
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    if (rest.substr(0, colon) == "GNOME") {
      return true;
    }
    if (colon == std::string_view::npos) {
      break;
    }
    rest.remove_prefix(colon + 1);
  }
  return false;
}

LinuxCaptureDecision ResolveLinuxCaptureChoice(const std::string& choice,
                                               const LinuxDesktopFacts& facts) {
  if (choice != kAutoCaptureSource) {
    return {choice, "chosen by the user"};
  }
  const std::string type = facts.session_type != nullptr ? facts.session_type : "";
  const bool wayland =
      (facts.wayland_display != nullptr && facts.wayland_display[0] != '\0') || type == "wayland";
  if (!wayland) {
    return {kX11CaptureSource, "no Wayland session (WAYLAND_DISPLAY unset, XDG_SESSION_TYPE=" +
                                   (type.empty() ? std::string("unset") : type) + ")"};
  }
  const std::string why = WaylandReason(facts);
  if (!IsGnomeDesktop(facts.current_desktop)) {
    return {kPortalCaptureSource, why};
  }
  if (!facts.mutter_on_bus) {
    return {kPortalCaptureSource, why + ", GNOME without Mutter's remote desktop on the bus"};
  }
  if (facts.mutter_refused) {
    return {kPortalCaptureSource, why + ", GNOME whose Mutter refused the last session"};
  }
  return {kMutterCaptureSource, why + ", GNOME with Mutter's remote desktop on the bus"};
}

}  // namespace orvane
