#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/status.h"

namespace orvane {

// One hardware or software video encoder for one stream.
class VideoEncoder {
 public:
  virtual ~VideoEncoder() = default;

  // codec: 1 H.264, 2 HEVC.
  virtual bool Initialize(uint32_t codec, uint32_t width, uint32_t height, uint32_t fps,
                          uint32_t bitrate_kbps) = 0;
  virtual bool SetBitrate(uint32_t bitrate_kbps) = 0;
  virtual void Shutdown() = 0;
  virtual Status LastStatus() const = 0;
};

// Makes the encoder a stream uses; empty when this build has no encoder to offer.
using VideoEncoderFactory = std::function<std::unique_ptr<VideoEncoder>()>;

}  // namespace orvane
