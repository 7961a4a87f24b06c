#include "viewer/jitter_buffer.h"

#include <algorithm>

namespace orvane::viewer {

JitterBuffer::JitterBuffer(const Settings& settings)
    : settings_(settings), target_ms_(settings.base_ms) {}

size_t JitterBuffer::FramesFor(uint32_t ms) const {
  return size_t{settings_.sample_rate} * ms / 1000;
}

void JitterBuffer::Push(std::span<const int16_t> samples) {
  // Only whole frames: a torn one would swap the channels of everything after it.
  const size_t whole = samples.size() - samples.size() % settings_.channels;
  samples_.insert(samples_.end(), samples.begin(), samples.begin() + whole);
  const size_t target = FramesFor(target_ms_);
  if (buffered_frames() > 2 * target) {
    const size_t drop = buffered_frames() - target;
    samples_.erase(samples_.begin(), samples_.begin() + drop * settings_.channels);
    dropped_frames_ += drop;
  }
  if (!playing_ && buffered_frames() >= target) {
    playing_ = true;
  }
}

void JitterBuffer::Pull(std::span<int16_t> out) {
  size_t copied = 0;
  if (playing_) {
    copied = std::min(out.size(), samples_.size());
    std::copy_n(samples_.begin(), copied, out.begin());
    samples_.erase(samples_.begin(), samples_.begin() + copied);
  }
  std::fill(out.begin() + copied, out.end(), int16_t{0});
  if (!playing_) {
    return;
  }
  if (copied < out.size()) {
    ++underruns_;
    playing_ = false;
    calm_frames_ = 0;
    target_ms_ = std::min(target_ms_ + settings_.step_ms, settings_.max_ms);
    return;
  }
  calm_frames_ += out.size() / settings_.channels;
  if (calm_frames_ >= FramesFor(settings_.calm_ms)) {
    calm_frames_ = 0;
    target_ms_ = std::max(target_ms_ - std::min(target_ms_, settings_.step_ms), settings_.base_ms);
  }
}

}  // namespace orvane::viewer
