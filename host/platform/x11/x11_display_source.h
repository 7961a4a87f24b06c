#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/x11/x11_display.h"

namespace orvane {

// Hands out the one X display the host's components share: opened on first use, and
// opened anew once the server it reached went away.
class X11DisplaySource {
 public:
  // An empty name means $DISPLAY.
  explicit X11DisplaySource(std::string display_name = {});

  // The live display, or nullptr when no server answers.
  std::shared_ptr<X11Display> Get();

 private:
  const std::string display_name_;
  std::mutex mutex_;
  std::shared_ptr<X11Display> display_;
};

}  // namespace orvane
