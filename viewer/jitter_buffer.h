#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace orvane::viewer {

// Decoded audio between the network and the sound card. Playback starts once the target
// delay is buffered, so packets that arrive unevenly still play evenly. An underrun plays
// silence, raises the target by a step and primes again; a long stretch without one lowers
// it back towards the base. Audio that arrives so late that the buffer holds more than
// twice the target is dropped, oldest first, down to the target, so a stall never leaves
// sound lagging the picture for good. Samples are interleaved frames of `channels`. Not
// thread-safe: the player locks around it.
class JitterBuffer {
 public:
  struct Settings {
    uint32_t sample_rate = 48000;
    uint32_t channels = 2;
    uint32_t base_ms = 40;
    uint32_t step_ms = 10;
    uint32_t max_ms = 200;
    uint32_t calm_ms = 10000;  // played without an underrun before the target is lowered
  };

  explicit JitterBuffer(const Settings& settings);

  void Push(std::span<const int16_t> samples);
  // Fills `out` completely: buffered audio, then silence.
  void Pull(std::span<int16_t> out);

  uint32_t target_ms() const { return target_ms_; }
  size_t buffered_frames() const { return samples_.size() / settings_.channels; }
  bool playing() const { return playing_; }
  uint64_t underruns() const { return underruns_; }
  uint64_t dropped_frames() const { return dropped_frames_; }

 private:
  size_t FramesFor(uint32_t ms) const;

  const Settings settings_;
  uint32_t target_ms_;
  std::deque<int16_t> samples_;
  bool playing_ = false;
  size_t calm_frames_ = 0;
  uint64_t underruns_ = 0;
  uint64_t dropped_frames_ = 0;
};

}  // namespace orvane::viewer
