#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "audio/encoded_audio_packet.h"
#include "base/status.h"

struct OpusEncoder;

namespace orvane {

// libopus cut to fixed frames of 20 ms: PCM is queued until a frame is full, every full
// frame becomes a packet in a FIFO, and each call returns at most the oldest packet.
//
// A packet's timestamp is the capture time of its first sample: the first block's
// timestamp plus the duration of the frames encoded since. Blocks in which nothing
// played are never delivered, so when a block starts more than one frame after the end
// of the audio already queued, the timing restarts from that block's own time; without
// that, everything after a pause would be stamped as long ago as the pause lasted.
class LibopusEncoder {
 public:
  LibopusEncoder() = default;
  ~LibopusEncoder();
  LibopusEncoder(const LibopusEncoder&) = delete;
  LibopusEncoder& operator=(const LibopusEncoder&) = delete;

  // Constrained variable bitrate; no other setting is made. A rate or channel count that
  // libopus does not take fails.
  bool Initialize(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps);
  // `pcm` holds frames × the initialised channel count samples.
  AudioEncodeResult Encode(const int16_t* pcm, uint32_t frames, uint64_t timestamp_us,
                           EncodedAudioPacket& out);
  // Drops the encoder and everything queued.
  void Shutdown();
  const Status& LastStatus() const { return status_; }

 private:
  void ClearQueues();
  // Restarts the timing at a block that starts well after the queued audio ends.
  void FollowCaptureClock(uint64_t timestamp_us);
  uint64_t BufferedFrames() const;
  AudioEncodeResult Fail(std::string message);

  OpusEncoder* encoder_ = nullptr;
  uint32_t sample_rate_ = 48000;
  uint32_t channels_ = 2;
  uint32_t frame_samples_ = 0;  // per channel
  uint8_t frame_ms_ = 20;
  std::vector<int16_t> pcm_;  // interleaved, not yet encoded
  std::deque<EncodedAudioPacket> packets_;
  bool timing_started_ = false;
  uint64_t timing_origin_us_ = 0;     // capture time of the first sample since the timing started
  uint64_t frames_since_origin_ = 0;  // frames encoded since: pcm_ starts that much later
  Status status_;
};

}  // namespace orvane
