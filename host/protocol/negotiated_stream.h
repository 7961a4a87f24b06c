#pragma once

#include <cstdint>

#include "protocol/video_codec.h"

namespace orvane {

// What the host offered in CapabilityAccept and uses to start the next stream.
struct NegotiatedStream {
  VideoCodec codec = VideoCodec::kH264;
  uint32_t width = 1920;
  uint32_t height = 1080;
  uint32_t fps = 60;
  uint32_t bitrate_kbps = 8000;
  bool audio_enabled = false;
  bool input_enabled = true;
  uint32_t media_port = 9431;
  uint32_t input_port = 9432;
};

}  // namespace orvane
