#include "net/socket_thread.h"

#include <chrono>
#include <utility>

namespace orvane {
namespace {

// How long Stop waits for the thread to leave before waking it again.
constexpr std::chrono::milliseconds kWakeRetry{20};

}  // namespace

SocketThread::~SocketThread() {
  Stop();
}

void SocketThread::Start(SocketHandle socket, Loop loop) {
  Stop();
  socket_ = socket;
  ended_ = false;
  running_.store(true);
  thread_ = std::thread([this, socket, loop = std::move(loop)] {
    loop(socket);
    {
      std::lock_guard<std::mutex> lock(ended_mutex_);
      ended_ = true;
    }
    ended_changed_.notify_all();
  });
}

void SocketThread::Stop() {
  running_.store(false);
  if (thread_.joinable()) {
    // A wake-up that came just before the thread blocked may not hold (see
    // InterruptSocket), so it is repeated until the thread has left.
    std::unique_lock<std::mutex> lock(ended_mutex_);
    do {
      InterruptSocket(socket_);
    } while (!ended_changed_.wait_for(lock, kWakeRetry, [this] { return ended_; }));
    lock.unlock();
    thread_.join();
  }
  CloseSocket(socket_);
  socket_ = kInvalidSocket;
}

}  // namespace orvane
