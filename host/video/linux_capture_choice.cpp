#include "video/linux_capture_choice.h"

#include "video/capture_backend_choice.h"

namespace orvane {

LinuxCaptureDecision ResolveLinuxCaptureChoice(const std::string& choice,
                                               const char* wayland_display,
                                               const char* session_type) {
  if (choice != kAutoCaptureSource) {
    return {choice, "chosen by the user"};
  }
  if (wayland_display != nullptr && wayland_display[0] != '\0') {
    return {kPortalCaptureSource,
            std::string("Wayland session (WAYLAND_DISPLAY=") + wayland_display + ")"};
  }
  const std::string type = session_type != nullptr ? session_type : "";
  if (type == "wayland") {
    return {kPortalCaptureSource, "Wayland session (XDG_SESSION_TYPE=wayland)"};
  }
  return {kX11CaptureSource, "no Wayland session (WAYLAND_DISPLAY unset, XDG_SESSION_TYPE=" +
                                 (type.empty() ? std::string("unset") : type) + ")"};
}

}  // namespace orvane
