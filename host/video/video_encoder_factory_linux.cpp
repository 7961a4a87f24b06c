#include "video/ffmpeg_video_encoder.h"
#include "video/video_encoder_factory.h"

namespace orvane {

std::unique_ptr<VideoEncoder> CreateVideoEncoder() {
  return std::make_unique<FfmpegVideoEncoder>();
}

}  // namespace orvane
