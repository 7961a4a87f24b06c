#pragma once

#include <cstdint>
#include <string>

#include "session/platform_services.h"
#include "video/encoder_choice.h"

namespace orvane {

// What the user asked of the platform's facilities.
struct PlatformRequests {
  EncoderChoice encoder = EncoderChoice::kAuto;
  // --extend's size, 0 when not extending.
  uint16_t extend_width = 0;
  uint16_t extend_height = 0;
};

// The capture, cursor, encoder and input facilities of the platform this build is for;
// the requests are honoured where the platform has that choice.
PlatformServices CreatePlatformServices(const PlatformRequests& requests = {});

// True when, with this capture choice, the desktop adds --extend's monitor itself for as
// long as a stream casts it (a compositor's virtual monitor), so no ExtendedDisplay is
// added beforehand.
bool ExtendsThroughCapture(const std::string& capture_choice);

}  // namespace orvane
