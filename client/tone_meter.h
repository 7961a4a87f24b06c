#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace orvane::client {

// Measures a steady tone in one channel of decoded audio: its frequency, from the
// rising zero crossings (with a small hysteresis, so that noise around zero does not
// count), and its RMS level relative to full scale.
class ToneMeter {
 public:
  explicit ToneMeter(uint32_t sample_rate) : sample_rate_(sample_rate) {}

  // Interleaved samples with `channels` per frame; the first channel is measured.
  void Add(std::span<const int16_t> samples, uint32_t channels);

  double seconds() const { return static_cast<double>(frames_) / sample_rate_; }
  // Nothing before two rising crossings.
  std::optional<double> FrequencyHz() const;
  // dBFS of the RMS (a full-scale sine is -3 dBFS); nothing before any sample.
  std::optional<double> LevelDbfs() const;

 private:
  uint32_t sample_rate_;
  uint64_t frames_ = 0;
  double sum_of_squares_ = 0;
  bool below_ = false;
  uint64_t crossings_ = 0;
  uint64_t first_crossing_ = 0;
  uint64_t last_crossing_ = 0;
};

}  // namespace orvane::client
