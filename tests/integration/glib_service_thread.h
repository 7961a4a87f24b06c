#pragma once

#include <glib.h>

#include <functional>
#include <thread>

namespace orvane::testing {

// A GLib main context and loop on a thread of their own, for a fake service on a test bus.
// The function given to Start runs on that thread; it makes the context its default, sets
// its service up, runs the loop and tears the service down when the loop ends.
class GlibServiceThread {
 public:
  GlibServiceThread();
  ~GlibServiceThread();
  GlibServiceThread(const GlibServiceThread&) = delete;
  GlibServiceThread& operator=(const GlibServiceThread&) = delete;

  void Start(std::function<void()> serve);
  // Ends the loop and waits for the thread; the owner calls it before its own members go.
  void Stop();

  GMainContext* context() const { return context_; }
  GMainLoop* loop() const { return loop_; }

 private:
  GMainContext* context_;
  GMainLoop* loop_;
  std::thread thread_;
};

}  // namespace orvane::testing
