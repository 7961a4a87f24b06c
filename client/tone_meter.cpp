#include "client/tone_meter.h"

#include <algorithm>
#include <cmath>

namespace orvane::client {
namespace {

// About -50 dBFS: far below a tone worth measuring, above the codec's noise floor.
constexpr int kHysteresis = 100;

}  // namespace

void ToneMeter::Add(std::span<const int16_t> samples, uint32_t channels) {
  for (size_t i = 0; i + channels <= samples.size(); i += channels, ++frames_) {
    const int sample = samples[i];
    sum_of_squares_ += static_cast<double>(sample) * sample;
    if (sample < -kHysteresis) {
      below_ = true;
    } else if (sample > kHysteresis && below_) {
      below_ = false;
      if (crossings_++ == 0) {
        first_crossing_ = frames_;
      }
      last_crossing_ = frames_;
    }
  }
}

std::optional<double> ToneMeter::FrequencyHz() const {
  if (crossings_ < 2 || last_crossing_ == first_crossing_) {
    return std::nullopt;
  }
  return static_cast<double>(crossings_ - 1) * sample_rate_ /
         static_cast<double>(last_crossing_ - first_crossing_);
}

std::optional<double> ToneMeter::LevelDbfs() const {
  if (frames_ == 0) {
    return std::nullopt;
  }
  const double rms = std::sqrt(sum_of_squares_ / static_cast<double>(frames_));
  return 20.0 * std::log10(std::max(rms, 1e-9) / 32768.0);
}

}  // namespace orvane::client
