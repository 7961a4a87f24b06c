#include "platform/x11/x11_event_queue.h"

#include <cstring>

namespace orvane {

X11Event X11EventQueue::Take(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  // A timed wait costs tens of microseconds even when it has nothing to wait for (timer
  // slack), which a poll on every injected key or cursor read must not pay.
  if (wait.count() > 0) {
    arrived_.wait_for(lock, wait, [this] { return !events_.empty() || lost_; });
  }
  if (events_.empty()) {
    return nullptr;
  }
  X11Event event = std::move(events_.front());
  events_.pop_front();
  return event;
}

void X11EventQueue::Push(const xcb_generic_event_t& event) {
  // Core and extension events are fixed-size; generic (XGE) events, which are longer,
  // are not subscribed to here.
  auto* copy = static_cast<xcb_generic_event_t*>(std::malloc(sizeof(xcb_generic_event_t)));
  if (copy == nullptr) {
    return;
  }
  std::memcpy(copy, &event, sizeof(xcb_generic_event_t));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.size() == kMaxQueued) {
      events_.pop_front();
    }
    events_.emplace_back(copy);
  }
  arrived_.notify_all();
}

void X11EventQueue::MarkLost() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lost_ = true;
  }
  arrived_.notify_all();
}

}  // namespace orvane
