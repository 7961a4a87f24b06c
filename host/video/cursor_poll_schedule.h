#pragma once

#include <cstdint>
#include <optional>

namespace orvane {

// When the frame loop reads the cursor next. A moving pointer is read 240 times a second
// so that it glides on the client; once it has stood still for a second it is read 20
// times a second, so a still desktop's loop can sleep in its capture waits (which a
// change of the picture ends at once) instead of waking every few milliseconds. The
// first movement after a pause reaches the client at most one still period late.
class CursorPollSchedule {
 public:
  static constexpr uint64_t kMovingPeriodNs = 4166667;
  static constexpr uint64_t kStillPeriodNs = 50000000;
  static constexpr uint64_t kSettleNs = 1000000000;

  // Time left until the next read is due; 0 when it is due now (or none was made yet).
  uint64_t NsUntilDue(uint64_t now_ns) const;
  // A read was made; `changed` when it found the pointer moved or its image changed.
  void Polled(uint64_t now_ns, bool changed);

 private:
  std::optional<uint64_t> last_poll_ns_;
  std::optional<uint64_t> last_change_ns_;
};

}  // namespace orvane
