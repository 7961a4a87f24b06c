#pragma once

#include "session/platform_services.h"
#include "video/encoder_choice.h"

namespace orvane {

// The capture, cursor, encoder and input facilities of the platform this build is for;
// `encoder` is honoured where the platform has that choice.
PlatformServices CreatePlatformServices(EncoderChoice encoder = EncoderChoice::kAuto);

}  // namespace orvane
