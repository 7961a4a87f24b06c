#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::client {

// Host-to-client delays in microseconds; negative when the two clocks differ.
class DelaySamples {
 public:
  void Add(int64_t delay_us) { samples_.push_back(delay_us); }
  size_t count() const { return samples_.size(); }
  // The nearest-rank percentile (0 < percent <= 100); nullopt without samples.
  std::optional<int64_t> Percentile(double percent) const;
  // "p50 1.25 ms p95 3.50 ms", or "n/a" without samples.
  std::string Milliseconds() const;

 private:
  std::vector<int64_t> samples_;
};

}  // namespace orvane::client
