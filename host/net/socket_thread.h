#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/socket.h"

namespace orvane {

// A thread that serves one socket with blocking calls (accept, recvfrom) until it is
// stopped. Stop wakes the thread and waits for it to end before the socket is closed: a
// closed handle value can be handed at once to a socket that another thread creates, and
// this thread must never call into that one.
class SocketThread {
 public:
  using Loop = std::function<void(SocketHandle socket)>;

  SocketThread() = default;
  ~SocketThread();
  SocketThread(const SocketThread&) = delete;
  SocketThread& operator=(const SocketThread&) = delete;

  // Takes over `socket` and runs `loop` with it on a new thread. The loop must return once
  // running() is false; a blocked call is woken by Stop.
  void Start(SocketHandle socket, Loop loop);
  // Wakes and joins the thread, then closes the socket. Idempotent; must not be called from
  // the loop.
  void Stop();
  bool running() const { return running_.load(); }

 private:
  SocketHandle socket_ = kInvalidSocket;
  std::atomic<bool> running_{false};
  std::thread thread_;

  std::mutex ended_mutex_;
  std::condition_variable ended_changed_;
  bool ended_ = false;
};

}  // namespace orvane
