#pragma once

#include <memory>

#include "video/video_encoder.h"

namespace orvane {

// The encoder this build streams with; null when the platform has none yet.
std::unique_ptr<VideoEncoder> CreateVideoEncoder();

}  // namespace orvane
