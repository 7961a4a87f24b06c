#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "session/platform_services.h"
#include "video/encoder_choice.h"

namespace orvane {

// What the user asked of the platform's facilities.
struct PlatformRequests {
  EncoderChoice encoder = EncoderChoice::kAuto;
  // The size of the virtual monitor to stream (width << 16 | height), 0 for none; read at
  // every stream start, so the tray can change it.
  const std::atomic<uint32_t>* virtual_monitor_size = nullptr;
};

// The capture, cursor, encoder and input facilities of the platform this build is for;
// the requests are honoured where the platform has that choice.
PlatformServices CreatePlatformServices(const PlatformRequests& requests = {});

// True when, with this capture choice, the desktop adds an extending monitor itself for as
// long as a stream casts it (a compositor's virtual monitor), so no ExtendedDisplay is
// added beforehand.
bool ExtendsThroughCapture(const std::string& capture_choice);

// True in a Wayland session, whose compositor shows no monitor added through X11.
bool IsWaylandSession();

}  // namespace orvane
