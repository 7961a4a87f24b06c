#pragma once

#include <memory>
#include <optional>

#include "input/input_sink.h"
#include "platform/x11/x11_display.h"

namespace orvane {

// The size of the X screen, kept without a round trip per question: read once, and again
// after the server reports a screen change (RandR). Without RandR every question is a
// round trip.
class X11ScreenSize {
 public:
  explicit X11ScreenSize(std::shared_ptr<X11Display> x11);

  // nullopt when the server cannot be asked.
  std::optional<DesktopRect> Current();

 private:
  std::optional<DesktopRect> Read();

  std::shared_ptr<X11Display> x11_;
  std::shared_ptr<X11EventQueue> screen_changes_;  // none without RandR
  std::optional<DesktopRect> current_;
};

}  // namespace orvane
