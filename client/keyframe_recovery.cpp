#include "client/keyframe_recovery.h"

namespace orvane::client {
namespace {

int64_t Micros(KeyframeRecovery::Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
}

}  // namespace

void KeyframeRecovery::OnFrameLost(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (broken_since_) {
    return;
  }
  broken_since_ = now;
  first_request_.reset();
  last_request_.reset();
  answered_ = false;
  ++summary_.losses;
}

void KeyframeRecovery::OnKeyframeStarted(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A keyframe that was on its way before the request answers nothing.
  if (!first_request_ || answered_) {
    return;
  }
  answered_ = true;
  ++summary_.answered;
  summary_.answer_us.Add(Micros(now - *first_request_));
}

void KeyframeRecovery::OnKeyframeComplete(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!broken_since_) {
    return;
  }
  ++summary_.recovered;
  summary_.recovery_us.Add(Micros(now - *broken_since_));
  broken_since_.reset();
  first_request_.reset();
  last_request_.reset();
}

bool KeyframeRecovery::TakeRequestDue(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!broken_since_ || (last_request_ && now - *last_request_ < retry_)) {
    return false;
  }
  if (!first_request_) {
    first_request_ = now;
  }
  last_request_ = now;
  ++summary_.requests;
  return true;
}

KeyframeRecovery::Summary KeyframeRecovery::summary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return summary_;
}

}  // namespace orvane::client
