#include "platform/socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "support/socket_probe.h"
#include "support/test_socket.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::BoundPort;
using testing::ConnectedPair;
using testing::LoopbackSocket;
using testing::WaitUntil;

int ReceiveOnce(SocketHandle socket) {
  uint8_t byte = 0;
  return ReceiveSome(socket, &byte, 1);
}

// Sends until the peer's window and both buffers are full and the call blocks.
int SendUntilBlocked(SocketHandle socket) {
  const std::vector<uint8_t> chunk(256 * 1024, 0x5A);
  for (;;) {
    const int sent = SendSome(socket, chunk.data(), chunk.size());
    if (sent < 1) {
      return sent;
    }
  }
}

TEST(SocketTest, InterruptWakesABlockedCallAndLeavesTheHandleOpen) {
  struct Case {
    const char* name;
    // Makes the socket and whatever keeps the call blocked.
    std::function<SocketHandle()> open;
    std::function<int(SocketHandle)> blocking_call;
    // Ends the call from the outside should the interrupt fail to.
    std::function<void(SocketHandle)> release;
    bool stays_shut;  // later calls fail at once without another wake-up
  };
  std::unique_ptr<ConnectedPair> pair;
  const auto connected = [&] {
    pair = std::make_unique<ConnectedPair>();
    return pair->ReleaseHost();
  };
  const auto close_peer = [&](SocketHandle) { pair.reset(); };
  const Case cases[] = {
      {"accept on a listener", [] { return LoopbackSocket(SOCK_STREAM); },
       [](SocketHandle socket) {
         const SocketHandle accepted = accept(socket, nullptr, nullptr);
         CloseSocket(accepted);
         return accepted == kInvalidSocket ? -1 : 1;
       },
       [](SocketHandle socket) { testing::TestClient client(BoundPort(socket)); }, false},
      {"recvfrom on a datagram socket", [] { return LoopbackSocket(SOCK_DGRAM); },
       [](SocketHandle socket) {
         uint8_t byte = 0;
         sockaddr_in from{};
         return ReceiveDatagram(socket, &byte, 1, from);
       },
       [](SocketHandle socket) {
         sockaddr_in to{};
         to.sin_family = AF_INET;
         to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
         to.sin_port = htons(BoundPort(socket));
         const uint8_t byte = 1;
         SendDatagram(socket, &byte, 1, to);
       },
       false},
      {"recv on a connection", connected, ReceiveOnce, close_peer, true},
      {"send on a connection", connected, SendUntilBlocked, close_peer, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SocketHandle socket = c.open();
    ASSERT_NE(socket, kInvalidSocket);
    const uint16_t port = BoundPort(socket);
    std::atomic<int> calls_returned{0};
    std::atomic<bool> second_call_failed{false};
    std::thread caller([&] {
      c.blocking_call(socket);
      ++calls_returned;
      if (c.stays_shut) {
        second_call_failed = c.blocking_call(socket) < 1;
        ++calls_returned;
      }
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(calls_returned.load(), 0);

    InterruptSocket(socket);
    const int expected_calls = c.stays_shut ? 2 : 1;
    const bool woken = WaitUntil([&] { return calls_returned.load() == expected_calls; });
    if (!woken) {
      c.release(socket);
    }
    caller.join();
    EXPECT_TRUE(woken);
    EXPECT_EQ(BoundPort(socket), port) << "the handle must stay open until it is closed";
    if (c.stays_shut) {
      EXPECT_TRUE(second_call_failed.load());
    }
    CloseSocket(socket);
    pair.reset();
  }
}

}  // namespace
}  // namespace orvane
