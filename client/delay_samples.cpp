#include "client/delay_samples.h"

#include <algorithm>
#include <cmath>

namespace orvane::client {

std::optional<int64_t> DelaySamples::Percentile(double percent) const {
  if (samples_.empty()) {
    return std::nullopt;
  }
  std::vector<int64_t> sorted = samples_;
  const auto rank = static_cast<size_t>(std::ceil(percent / 100.0 * sorted.size()));
  const size_t index = std::clamp<size_t>(rank, 1, sorted.size()) - 1;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<ptrdiff_t>(index), sorted.end());
  return sorted[index];
}

}  // namespace orvane::client
