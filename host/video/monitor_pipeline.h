#pragma once

#include <cstdint>
#include <memory>

#include "video/video_encoder.h"

namespace orvane {

// The per-monitor state of a running stream.
struct MonitorPipeline {
  uint32_t monitor_index = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t fps = 0;
  uint64_t frame_counter = 0;
  bool ready = false;
  std::unique_ptr<VideoEncoder> encoder;
};

}  // namespace orvane
