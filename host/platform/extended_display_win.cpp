#include "base/logger.h"
#include "platform/extended_display.h"

namespace orvane {

// Windows gains extra monitors only through a display driver, which the host does not
// install.
struct ExtendedDisplay::Added {};

bool ExtendedDisplay::Supported() {
  return false;
}

ExtendedDisplay::ExtendedDisplay() = default;
ExtendedDisplay::~ExtendedDisplay() = default;

std::optional<uint32_t> ExtendedDisplay::Add(uint16_t width, uint16_t height) {
  LOG_WARN("[Main] Cannot extend the desktop by %ux%u: Windows needs a virtual display driver",
           width, height);
  return std::nullopt;
}

void ExtendedDisplay::Remove() {}

}  // namespace orvane
