#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "input/input_sink.h"
#include "platform/x11/x11_display.h"

namespace orvane {

// The X screen and its RandR monitors, in root-window pixels.
struct ScreenLayout {
  DesktopRect screen;
  // Active monitors in the order RandR lists them, the order capture numbers outputs in.
  std::vector<DesktopRect> monitors;
};

// The layout of the X screen, kept without a round trip per question: read once, and
// again after the server reports a change of the screen, a CRTC or an output (RandR).
// Without RandR every question is a round trip and the screen is the only monitor.
class X11ScreenLayout {
 public:
  explicit X11ScreenLayout(std::shared_ptr<X11Display> x11);

  // nullopt when the server cannot be asked.
  std::optional<ScreenLayout> Current();

 private:
  std::optional<ScreenLayout> Read();

  std::shared_ptr<X11Display> x11_;
  bool randr_ = false;
  std::shared_ptr<X11EventQueue> layout_changes_;  // none without RandR
  std::optional<ScreenLayout> current_;
};

}  // namespace orvane
