#pragma once

#include <gio/gio.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

// A fake service on a test bus, on a GLib main loop of its own thread: it connects to the
// bus, exports the objects and asks for the names its owner sets up there, serves until
// Stop, and then gives them up.
class GlibServiceThread {
 public:
  GlibServiceThread();
  ~GlibServiceThread();
  GlibServiceThread(const GlibServiceThread&) = delete;
  GlibServiceThread& operator=(const GlibServiceThread&) = delete;

  // Connects to `bus_address` on the service's thread and runs `set_up` there with the
  // connection (not when the bus cannot be reached), then serves.
  void Start(const std::string& bus_address, std::function<void(GDBusConnection*)> set_up);
  // Ends the loop and waits for the thread; the owner calls it before its own members go.
  void Stop();

  // On the service's thread: exports `interface` at `path`, with `vtable` called with
  // `self`, until Stop.
  void Export(const std::string& path, GDBusInterfaceInfo* interface,
              const GDBusInterfaceVTable* vtable, gpointer self);
  // On the service's thread: asks for `name` on the bus.
  void Own(const char* name);

  // Connected, set up, and every name asked for is owned.
  bool ready() const { return set_up_.load() && names_owned_.load() == names_wanted_.load(); }
  GMainContext* context() const { return context_; }

 private:
  void Serve(const std::string& bus_address, const std::function<void(GDBusConnection*)>& set_up);

  GMainContext* context_;
  GMainLoop* loop_;
  std::thread thread_;
  // Used on the service's thread only.
  GDBusConnection* connection_ = nullptr;
  std::vector<guint> exported_;
  std::vector<guint> owners_;
  std::atomic<bool> set_up_{false};
  std::atomic<int> names_wanted_{0};
  std::atomic<int> names_owned_{0};
};

}  // namespace orvane::testing
