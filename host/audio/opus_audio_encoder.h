#pragma once

#include <cstdint>
#include <memory>

#include "audio/encoded_audio_packet.h"
#include "audio/libopus_encoder.h"
#include "audio/opus_transform.h"
#include "base/status.h"

namespace orvane {

// Turns captured PCM into Opus packets with the platform's transform where it has one
// that accepts the format, else with libopus. Initialized at every stream start;
// Initialize and Shutdown run while no capture delivers, Encode on the capture thread.
class OpusAudioEncoder {
 public:
  explicit OpusAudioEncoder(OpusTransformFactory transform_factory = {});
  ~OpusAudioEncoder();
  OpusAudioEncoder(const OpusAudioEncoder&) = delete;
  OpusAudioEncoder& operator=(const OpusAudioEncoder&) = delete;

  // Starts from scratch; true when a back end is ready.
  bool Initialize(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps);
  // `pcm` holds frames × channels interleaved samples; a channel count other than the
  // initialised one is refused and nothing of the block is kept.
  AudioEncodeResult Encode(const int16_t* pcm, uint32_t frames, uint32_t channels,
                           uint64_t timestamp_us, EncodedAudioPacket& out);
  // Drops both back ends and everything buffered.
  void Shutdown();
  const Status& LastStatus() const { return status_; }

 private:
  enum class Backend { kNone, kTransform, kLibopus };

  AudioEncodeResult Fail(const char* message);

  OpusTransformFactory transform_factory_;
  std::unique_ptr<OpusTransform> transform_;
  LibopusEncoder libopus_;
  Backend backend_ = Backend::kNone;
  uint32_t channels_ = 2;
  bool initialized_ = false;
  Status status_;
};

}  // namespace orvane
