#include "net/replay_window.h"

namespace orvane {

bool ReplayWindow::IsFresh(uint64_t counter) const {
  if (!any_ || counter > highest_) {
    return true;
  }
  const uint64_t age = highest_ - counter;
  return age < kSize && (seen_ & (uint64_t{1} << age)) == 0;
}

void ReplayWindow::Accept(uint64_t counter) {
  if (!any_) {
    any_ = true;
    highest_ = counter;
    seen_ = 1;
    return;
  }
  if (counter > highest_) {
    const uint64_t shift = counter - highest_;
    seen_ = shift < kSize ? (seen_ << shift) | 1 : 1;
    highest_ = counter;
    return;
  }
  const uint64_t age = highest_ - counter;
  if (age < kSize) {
    seen_ |= uint64_t{1} << age;
  }
}

void ReplayWindow::Reset() {
  *this = ReplayWindow{};
}

}  // namespace orvane
