#pragma once

#include <cstddef>
#include <vector>

namespace orvane {

// The most recent duration samples (ms) of one pipeline stage, for the percentiles of a
// stats report. Bounded, so a report that is never taken costs no growing memory.
class TimingWindow {
 public:
  static constexpr size_t kCapacity = 1024;

  void Add(float ms);
  // Nearest-rank percentile (0 < percent ≤ 100) of the samples held; 0 without samples.
  float Percentile(float percent) const;
  void Clear();

 private:
  std::vector<float> samples_;
  size_t next_ = 0;
};

}  // namespace orvane
