#pragma once

#include <cstdint>

#include "video/encoder_choice.h"

namespace orvane {

// The ports and monitor count a session serves, from the command line, and the size
// the day's log file may reach, the extended monitor and the encoder asked for (kept here
// so a relaunch in the background keeps them).
struct HostOptions {
  uint16_t control_port = 9430;
  uint16_t media_port = 9431;
  uint16_t input_port = 9432;
  uint32_t monitors = 1;
  uint32_t log_cap_mib = 64;
  // A monitor of this size to add to the desktop and stream; 0 x 0 for none.
  uint16_t extend_width = 0;
  uint16_t extend_height = 0;
  EncoderChoice encoder = EncoderChoice::kAuto;
};

}  // namespace orvane
