#pragma once

#include <cstdint>
#include <optional>

namespace orvane::viewer {

// How far the host's monotonic clock is ahead of this machine's, from ping round trips:
// the host read its clock somewhere between the ping leaving and the pong arriving, so
// its reading minus the midpoint is the offset, wrong by at most half the round trip.
// The round trip with the shortest time bounds it best, and is kept. On one machine the
// two clocks are the same one and the offset is exactly 0.
class ClockOffset {
 public:
  static ClockOffset SameClock();

  // Times in microseconds; a pong that came back before its ping left is ignored.
  void AddRoundTrip(uint64_t local_sent_us, uint64_t host_us, uint64_t local_received_us);

  // nullopt until a round trip has been measured (never on the same clock).
  std::optional<int64_t> offset_us() const { return offset_us_; }
  // The uncertainty of the offset: half the best round trip.
  std::optional<int64_t> error_us() const;
  // A host timestamp on this machine's clock; nullopt without an offset.
  std::optional<int64_t> ToLocal(uint64_t host_us) const;

 private:
  std::optional<int64_t> offset_us_;
  std::optional<uint64_t> best_round_trip_us_;
};

}  // namespace orvane::viewer
