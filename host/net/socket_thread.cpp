#include "net/socket_thread.h"

#include <utility>

namespace orvane {

SocketThread::~SocketThread() {
  Stop();
}

void SocketThread::Start(SocketHandle socket, Loop loop) {
  Stop();
  socket_ = socket;
  running_.store(true);
  thread_ = std::thread(std::move(loop), socket);
}

void SocketThread::Stop() {
  running_.store(false);
  const bool released = InterruptSocket(socket_);
  if (thread_.joinable()) {
    thread_.join();
  }
  if (!released) {
    CloseSocket(socket_);
  }
  socket_ = kInvalidSocket;
}

}  // namespace orvane
