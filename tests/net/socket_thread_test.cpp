#include "net/socket_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/socket_probe.h"
#include "support/log_capture.h"
#include "support/test_socket.h"

namespace orvane {
namespace {

using testing::BoundPort;
using namespace std::chrono_literals;

SocketHandle BoundUdpSocket(uint16_t port) {
  const SocketHandle handle = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  EXPECT_EQ(bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  return handle;
}

TEST(SocketThreadTest, ClosesTheSocketOnlyAfterItsThreadHasEnded) {
  const uint16_t port = testing::FreeUdpPort();
  const SocketHandle handle = BoundUdpSocket(port);
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
  ASSERT_TRUE(testing::WaitUntil([&] { return blocking.load(); }));
  std::this_thread::sleep_for(20ms);

  thread.Stop();
  EXPECT_FALSE(thread.running());
  EXPECT_EQ(port_when_leaving.load(), port);
  EXPECT_EQ(BoundPort(handle), 0) << "closed once the thread is gone";
  thread.Stop();  // idempotent
}

}  // namespace
}  // namespace orvane
