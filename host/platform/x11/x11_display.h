#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/x11_event_queue.h"

namespace orvane {

// One connection to the X server, shared by every component that needs X: capture, the
// cursor, input injection and the clipboard.
//
// Thread rule: any thread may send requests and wait for their replies (xcb serialises
// them). Events are read by the display's own event thread only, which gives each
// event to every subscription whose filter accepts it; a component takes its events
// from its subscription on its own thread and never reads events from the connection
// itself. Resources a component creates on the connection (windows, damage objects,
// shared-memory segments) are its own to free when it lets go, because the connection
// outlives it.
class X11Display {
 public:
  // Connects to `display_name` ($DISPLAY when empty) and starts the event thread;
  // nullptr when no server answers.
  static std::shared_ptr<X11Display> Open(const std::string& display_name = {});
  ~X11Display();
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  xcb_screen_t* screen() const { return screen_; }
  xcb_window_t root() const { return screen_->root; }
  // True once the server went away or the stream broke; the display is then useless.
  bool lost() const;
  // True when root window images arrive as 4-byte little-endian xRGB pixels, which is
  // BGRA in memory; capture relies on it to hand the bytes over unconverted.
  bool RootIsBgra32() const;

  // Events accepted by `filter` from now on go to the returned queue, until the last
  // owner lets go of it.
  std::shared_ptr<X11EventQueue> Subscribe(X11EventQueue::Filter filter);

  // Returns once every event caused by requests sent before the call has been handed to
  // the subscriptions (or the connection is lost).
  void Sync();

 private:
  X11Display(xcb_connection_t* connection, xcb_screen_t* screen);
  void EventLoop();
  void Dispatch(const xcb_generic_event_t& event);
  // Asks the server to send the event thread a marker through the event stream.
  void SendMarker(uint32_t marker);

  xcb_connection_t* const connection_;
  xcb_screen_t* const screen_;
  // Unmapped window that receives the markers, private to the event thread's protocol.
  xcb_window_t marker_window_ = XCB_NONE;
  xcb_atom_t marker_atom_ = XCB_NONE;
  std::thread event_thread_;
  std::atomic<bool> stopping_{false};

  std::mutex subscriptions_mutex_;
  std::vector<std::weak_ptr<X11EventQueue>> subscriptions_;

  std::mutex marker_mutex_;
  std::condition_variable marker_seen_;
  uint32_t last_marker_sent_ = 0;
  uint32_t last_marker_seen_ = 0;
  bool event_thread_done_ = false;
};

}  // namespace orvane
