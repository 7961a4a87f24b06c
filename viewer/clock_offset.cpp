#include "viewer/clock_offset.h"

namespace orvane::viewer {

ClockOffset ClockOffset::SameClock() {
  ClockOffset same;
  same.offset_us_ = 0;
  same.best_round_trip_us_ = 0;
  return same;
}

void ClockOffset::AddRoundTrip(uint64_t local_sent_us, uint64_t host_us,
                               uint64_t local_received_us) {
  if (local_received_us < local_sent_us) {
    return;
  }
  const uint64_t round_trip = local_received_us - local_sent_us;
  if (best_round_trip_us_ && round_trip >= *best_round_trip_us_) {
    return;
  }
  best_round_trip_us_ = round_trip;
  const uint64_t midpoint = local_sent_us + round_trip / 2;
  offset_us_ = static_cast<int64_t>(host_us - midpoint);
}

std::optional<int64_t> ClockOffset::error_us() const {
  if (!best_round_trip_us_) {
    return std::nullopt;
  }
  return static_cast<int64_t>(*best_round_trip_us_ / 2);
}

std::optional<int64_t> ClockOffset::ToLocal(uint64_t host_us) const {
  if (!offset_us_) {
    return std::nullopt;
  }
  return static_cast<int64_t>(host_us) - *offset_us_;
}

}  // namespace orvane::viewer
