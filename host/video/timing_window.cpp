#include "video/timing_window.h"

#include <algorithm>
#include <cmath>

namespace orvane {

void TimingWindow::Add(float ms) {
  if (samples_.size() < kCapacity) {
    samples_.push_back(ms);
    return;
  }
  samples_[next_] = ms;
  next_ = (next_ + 1) % kCapacity;
}

float TimingWindow::Percentile(float percent) const {
  if (samples_.empty()) {
    return 0.0f;
  }
  std::vector<float> sorted = samples_;
  const double rank = std::ceil(static_cast<double>(percent) / 100.0 * sorted.size());
  const size_t index = std::clamp<size_t>(static_cast<size_t>(rank), 1, sorted.size()) - 1;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(index),
                   sorted.end());
  return sorted[index];
}

void TimingWindow::Clear() {
  samples_.clear();
  next_ = 0;
}

}  // namespace orvane
