#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "session/host_options.h"
#include "video/capture_backend_choice.h"

namespace orvane {

class HostSession;

// Destroys the object on the calling thread once no other thread holds a reference.
template <typename T>
void DestroyWhenSoleOwner(std::shared_ptr<T>& object) {
  while (object.use_count() > 1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  object.reset();
}

// Hands the running session to threads that may stop it (console events, tray actions).
// They hold their own reference while they call into it, so the main thread can drop
// the session at any time without destroying it under them.
class SessionSlot {
 public:
  void Publish(std::shared_ptr<HostSession> session) {
    std::lock_guard<std::mutex> lock(mutex_);
    session_ = std::move(session);
  }
  void Clear() { Publish(nullptr); }
  std::shared_ptr<HostSession> Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return session_;
  }

  // Clears the slot and destroys `session` here, once the threads that took a reference
  // from the slot before it was cleared have let it go: the session must be gone before
  // the platform runtime stops.
  void Retire(std::shared_ptr<HostSession>& session) {
    Clear();
    DestroyWhenSoleOwner(session);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<HostSession> session_;
};

// The capture source the user chose ("auto" or a source's name), read by each new session
// and written by the tray.
class CaptureSourceSlot {
 public:
  std::string load() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return name_;
  }
  void store(std::string name) {
    std::lock_guard<std::mutex> lock(mutex_);
    name_ = std::move(name);
  }

 private:
  mutable std::mutex mutex_;
  std::string name_ = kAutoCaptureSource;
};

// The process-wide state through which the console handler, the tray and the sessions
// reach each other.
struct AppState {
  // Sets shutdown_requested and wakes WaitForShutdown.
  void RequestShutdown() {
    {
      std::lock_guard<std::mutex> lock(shutdown_mutex);
      shutdown_requested.store(true);
    }
    shutdown_wake.notify_all();
  }
  // Waits `pause`, or less when a shutdown is requested; true when one was.
  bool WaitForShutdown(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(shutdown_mutex);
    return shutdown_wake.wait_for(lock, pause, [this] { return shutdown_requested.load(); });
  }

  // Set only through RequestShutdown, so that a waiting reconnect loop wakes.
  std::atomic<bool> shutdown_requested{false};
  std::atomic<bool> relaunch_on_console_close{true};
  std::atomic<bool> client_connected{false};
  std::atomic<uint32_t> capture_output_index{0};
  CaptureSourceSlot capture_backend;
  std::atomic<uint32_t> monitor_count{1};
  // The extended display's size (width << 16 | height) while there is one, else 0; a
  // background relaunch adds it again.
  std::atomic<uint32_t> extended_size{0};
  // The size of the virtual monitor the compositor adds for each stream (width << 16 |
  // height) where the desktop extends itself, else 0.
  std::atomic<uint32_t> virtual_monitor_size{0};
  // Written once by the entry point before the console handler is installed.
  HostOptions relaunch_options;
  // Undoes what the host changed on the desktop before a relaunch, since this process then
  // ends without its usual shutdown. Written like relaunch_options.
  std::function<void()> before_relaunch;
  SessionSlot active_session;
  std::mutex shutdown_mutex;
  std::condition_variable shutdown_wake;
};

}  // namespace orvane
