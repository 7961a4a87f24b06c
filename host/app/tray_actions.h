#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/tray_model.h"

namespace orvane {

// What the tray's actions use besides the process-wide state.
struct TrayActionServices {
  // Shows a notification titled "Orvane Display".
  std::function<void(const std::string& text)> notify;
  // Prepares the USB route; true on success.
  std::function<bool()> prepare_usb_route;
  // Brings the host's console (or its log) into view.
  std::function<void()> open_console;
  // Adds the extended display (its capture output index, or nothing when the desktop
  // refused it) and takes it away again.
  std::function<std::optional<uint32_t>()> add_extended_display;
  std::function<void()> remove_extended_display;
  std::function<uint32_t()> count_monitors;
};

// The tray actions. They reach the rest of the host only through `state` (its
// atomic fields and the running session's RequestStop), so they may run on the tray
// thread while sessions come and go.
TrayActions MakeTrayActions(AppState& state, TrayActionServices services);

}  // namespace orvane
