#pragma once

#include <cstdint>
#include <optional>

namespace orvane {

// Lets a repeated log line through at most once per period of millisecond ticks. The
// first call always passes. One thread only.
class RateLimiter {
 public:
  explicit RateLimiter(uint64_t period_ms) : period_ms_(period_ms) {}

  bool Allow(uint64_t now_ms) {
    if (last_ms_ && now_ms - *last_ms_ < period_ms_) {
      return false;
    }
    last_ms_ = now_ms;
    return true;
  }

 private:
  uint64_t period_ms_;
  std::optional<uint64_t> last_ms_;
};

}  // namespace orvane
