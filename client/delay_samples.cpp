#include "client/delay_samples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

std::string DelaySamples::Milliseconds() const {
  const std::optional<int64_t> p50 = Percentile(50);
  const std::optional<int64_t> p95 = Percentile(95);
  if (!p50 || !p95) {
    return "n/a";
  }
  char text[64];
  std::snprintf(text, sizeof(text), "p50 %.2f ms p95 %.2f ms", static_cast<double>(*p50) / 1e3,
                static_cast<double>(*p95) / 1e3);
  return text;
}

}  // namespace orvane::client
