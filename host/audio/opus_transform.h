#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "audio/encoded_audio_packet.h"
#include "base/status.h"

namespace orvane {

// An Opus encoder the platform provides, tried before libopus. It returns at most one
// packet per block, stamped with that block's own time and duration.
class OpusTransform {
 public:
  virtual ~OpusTransform() = default;

  // On false LastStatus says why, and the transform is not used.
  virtual bool Initialize(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps) = 0;
  virtual AudioEncodeResult Encode(const int16_t* pcm, uint32_t frames, uint32_t channels,
                                   uint64_t timestamp_us, EncodedAudioPacket& out) = 0;
  virtual void Shutdown() = 0;
  virtual Status LastStatus() const = 0;
};

// Makes the transform for one stream; empty where the platform has none.
using OpusTransformFactory = std::function<std::unique_ptr<OpusTransform>()>;

}  // namespace orvane
