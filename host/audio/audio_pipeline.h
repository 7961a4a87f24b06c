#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "audio/audio_capture.h"
#include "audio/encoded_audio_packet.h"
#include "audio/opus_audio_encoder.h"
#include "audio/opus_transform.h"
#include "base/rate_limiter.h"
#include "platform/clock.h"

namespace orvane {

// Sends one Opus packet to the client; what becomes of it is not the pipeline's concern.
using AudioPacketSender =
    std::function<void(uint32_t sequence, uint64_t timestamp_us, uint8_t duration_ms,
                       const uint8_t* data, uint32_t size)>;

// Loopback capture, Opus encoding and sending, for the life of one session. The capture
// thread encodes and sends each block itself. Audio is best effort: nothing that fails
// here is reported to the session.
//
// Initialize, Start and Stop belong to one thread (the session's). The sequence number
// runs on across the streams of one session.
class AudioPipeline {
 public:
  // `tick_ms` times the encode warning (a millisecond tick count).
  AudioPipeline(AudioCaptureFactory capture_factory, OpusTransformFactory transform_factory,
                std::function<uint64_t()> tick_ms = TickCountMs);
  ~AudioPipeline();
  AudioPipeline(const AudioPipeline&) = delete;
  AudioPipeline& operator=(const AudioPipeline&) = delete;

  // Sets up the capture, once per session; without it the session runs without audio.
  bool Initialize();
  // A stream starts. `audio_enabled` is taken now: a change during the stream applies at
  // the next start. Blocks are sent only while `streaming`, read for every block, holds.
  void Start(bool audio_enabled, AudioPacketSender sender, const std::atomic<bool>& streaming);
  // Stops the capture, then the encoder; Start may follow.
  void Stop();

 private:
  void OnBlock(const int16_t* samples, uint32_t frames, uint32_t channels, uint64_t timestamp_us);
  Status CaptureStatus() const;

  AudioCaptureFactory capture_factory_;
  std::unique_ptr<LoopbackAudioCapture> capture_;  // none: this platform captures nothing
  OpusAudioEncoder encoder_;
  std::function<uint64_t()> tick_ms_;
  // Fields below the capture thread uses while a capture runs; Start sets them before.
  AudioPacketSender sender_;
  const std::atomic<bool>* streaming_ = nullptr;
  bool audio_enabled_ = false;
  uint32_t sequence_ = 0;
  EncodedAudioPacket packet_;
  RateLimiter encode_warning_{1000};
};

}  // namespace orvane
