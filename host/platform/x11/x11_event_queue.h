#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace orvane {

struct X11EventDeleter {
  void operator()(xcb_generic_event_t* event) const { std::free(event); }
};
using X11Event = std::unique_ptr<xcb_generic_event_t, X11EventDeleter>;

// The events one component subscribed to, handed over by the display's event thread and
// taken by the component on its own thread.
class X11EventQueue {
 public:
  using Filter = std::function<bool(const xcb_generic_event_t& event)>;

  explicit X11EventQueue(Filter filter) : filter_(std::move(filter)) {}
  X11EventQueue(const X11EventQueue&) = delete;
  X11EventQueue& operator=(const X11EventQueue&) = delete;

  // The oldest event, waiting at most `wait` for one; empty when none came in time or
  // the connection is gone.
  X11Event Take(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  // Event thread only.
  bool Wants(const xcb_generic_event_t& event) const { return filter_(event); }
  void Push(const xcb_generic_event_t& event);
  void MarkLost();

 private:
  // A component that stops taking events (no stream runs) must not make the queue grow
  // without end; the oldest events go first, the newest say most.
  static constexpr size_t kMaxQueued = 256;

  const Filter filter_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<X11Event> events_;
  bool lost_ = false;
};

}  // namespace orvane
