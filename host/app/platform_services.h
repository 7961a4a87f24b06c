#pragma once

#include "session/platform_services.h"

namespace orvane {

// The capture, cursor, encoder and input facilities of the platform this build is for.
PlatformServices CreatePlatformServices();

// Whether the tray may offer the graphics-capture backend (WGC on Windows; X11 has no
// such role).
bool OffersGraphicsCapture();

}  // namespace orvane
