#pragma once

#include "session/platform_services.h"

namespace orvane {

// The capture, cursor, encoder and input facilities of the platform this build is for.
PlatformServices CreatePlatformServices();

}  // namespace orvane
