#pragma once

#include <cstdint>

namespace orvane {

// Remembers which envelope counters a receiver has accepted: the highest one and the 64
// below it. A counter is fresh when it is above the highest, or inside the window and not
// seen yet; anything older than the window is refused, since it cannot be told from a
// replay. Counters only count once their datagram has opened, so a forged header cannot
// move the window.
class ReplayWindow {
 public:
  static constexpr uint64_t kSize = 64;

  bool IsFresh(uint64_t counter) const;
  // Records an accepted counter; call only after IsFresh said yes and the datagram opened.
  void Accept(uint64_t counter);
  // Forgets every counter: a new key starts a new sequence.
  void Reset();

 private:
  bool any_ = false;
  uint64_t highest_ = 0;
  // Bit i: highest_ - i has been accepted.
  uint64_t seen_ = 0;
};

}  // namespace orvane
