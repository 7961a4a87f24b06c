#include "net/socket_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/log_capture.h"
#include "support/socket_probe.h"
#include "support/test_socket.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::BoundPort;
using testing::LoopbackSocket;
using testing::WaitUntil;

TEST(SocketThreadTest, ClosesTheSocketOnlyAfterItsThreadHasEnded) {
  const SocketHandle handle = LoopbackSocket(SOCK_DGRAM);
  const uint16_t port = BoundPort(handle);
  SocketThread thread;
  std::atomic<bool> blocking{false};
  std::atomic<uint16_t> port_when_leaving{0};
  thread.Start(handle, [&](SocketHandle socket) {
    while (thread.running()) {
      blocking = true;
      uint8_t byte = 0;
      sockaddr_in from{};
      ReceiveDatagram(socket, &byte, 1, from);
    }
    // A stop that closed the socket before this thread ended has done so by now, and the
    // handle value would be free for any socket another thread creates.
    std::this_thread::sleep_for(100ms);
    port_when_leaving = BoundPort(socket);
  });
  ASSERT_TRUE(WaitUntil([&] { return blocking.load(); }));
  std::this_thread::sleep_for(20ms);

  thread.Stop();
  EXPECT_FALSE(thread.running());
  EXPECT_EQ(port_when_leaving.load(), port);
  EXPECT_EQ(BoundPort(handle), 0) << "closed once the thread is gone";
  thread.Stop();  // idempotent
}

TEST(SocketThreadTest, StopWakesALoopThatBlocksJustAfterTheFirstWakeUp) {
  const SocketHandle listener = LoopbackSocket(SOCK_STREAM);
  const uint16_t port = BoundPort(listener);
  SocketThread thread;
  thread.Start(listener, [&](SocketHandle socket) {
    // Blocks only once the stop has begun, as a loop does that passed its check just
    // before the stop and reaches accept() after the first wake-up.
    while (thread.running()) {
      std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(100ms);
    CloseSocket(accept(socket, nullptr, nullptr));
  });
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    thread.Stop();
    stopped = true;
  });
  const bool in_time = WaitUntil([&] { return stopped.load(); });
  if (!in_time) {
    testing::TestClient unblock(port);
  }
  stopper.join();
  EXPECT_TRUE(in_time);
}

}  // namespace
}  // namespace orvane
