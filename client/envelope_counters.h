#pragma once

#include <cstdint>

namespace orvane::client {

// Watches the envelope counters of the sealed media datagrams of one session. The host
// seals video and audio under one counter that only grows, so a counter at or below the
// highest seen before shows a datagram that was reordered, repeated, or numbered by a
// counter of its own.
class EnvelopeCounters {
 public:
  void AddSealed(uint64_t counter);
  void AddBare() { ++bare_; }

  uint64_t sealed() const { return sealed_; }
  uint64_t bare() const { return bare_; }
  uint64_t not_increasing() const { return not_increasing_; }
  // Counter values skipped over: datagrams lost on the way (or never sent).
  uint64_t skipped() const { return skipped_; }

 private:
  uint64_t sealed_ = 0;
  uint64_t bare_ = 0;
  uint64_t not_increasing_ = 0;
  uint64_t skipped_ = 0;
  bool any_ = false;
  uint64_t highest_ = 0;
};

}  // namespace orvane::client
