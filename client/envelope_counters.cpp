#include "client/envelope_counters.h"

namespace orvane::client {

void EnvelopeCounters::AddSealed(uint64_t counter) {
  ++sealed_;
  if (any_ && counter <= highest_) {
    ++not_increasing_;
    return;
  }
  if (any_) {
    skipped_ += counter - highest_ - 1;
  }
  any_ = true;
  highest_ = counter;
}

}  // namespace orvane::client
