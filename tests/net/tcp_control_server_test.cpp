#include "net/tcp_control_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "net/control_frame_codec.h"
#include "support/log_capture.h"
#include "support/socket_probe.h"
#include "support/test_socket.h"

namespace orvane {
namespace {

using testing::BigEndianLength;
using testing::LogCapture;
using testing::TestClient;
using testing::WaitUntil;

// Short enough that the deadline tests end quickly, long enough for a loaded machine to
// move a whole frame.
constexpr ControlDeadlines kTestDeadlines{std::chrono::milliseconds(1500),
                                          std::chrono::milliseconds(1500), 48u << 20};

class TcpControlServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = testing::FreeTcpPort();
    ASSERT_TRUE(server_.StartListening(port_).ok);
  }

  std::unique_ptr<TestClient> Connect(const std::string& local_address = "127.0.0.1") {
    auto client = std::make_unique<TestClient>(port_, local_address);
    EXPECT_TRUE(client->connected());
    return client;
  }

  std::unique_ptr<TestClient> ConnectActive(const std::string& local_address = "127.0.0.1") {
    auto client = Connect(local_address);
    EXPECT_TRUE(server_.WaitForActiveClient());
    return client;
  }

  LogCapture log_;
  uint16_t port_ = 0;
  TcpControlServer server_{kTestDeadlines};
};

TEST_F(TcpControlServerTest, MovesFramesBothWays) {
  auto client = ConnectActive();
  EXPECT_EQ(server_.ActiveClientAddress(), "127.0.0.1");
  EXPECT_TRUE(log_.Contains("[TCP] Active client connected from 127.0.0.1:" +
                            std::to_string(client->local_port())));

  ASSERT_TRUE(client->SendFrame({1, 2, 3}));
  std::vector<uint8_t> frame;
  ASSERT_TRUE(server_.ReceiveFrame(frame).ok);
  EXPECT_EQ(frame, (std::vector<uint8_t>{1, 2, 3}));

  const uint8_t reply[] = {9, 8};
  ASSERT_TRUE(server_.SendFrame(reply, sizeof(reply)));
  ASSERT_TRUE(client->ReceiveFrame(frame));
  EXPECT_EQ(frame, (std::vector<uint8_t>{9, 8}));
}

TEST_F(TcpControlServerTest, AssemblesAHeaderArrivingByteByByte) {
  auto client = ConnectActive();
  std::thread sender([&] {
    for (const uint8_t byte : {0, 0, 0, 2, 0xAB, 0xCD}) {
      client->SendBytes({byte});
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  std::vector<uint8_t> frame;
  EXPECT_TRUE(server_.ReceiveFrame(frame).ok);
  sender.join();
  EXPECT_EQ(frame, (std::vector<uint8_t>{0xAB, 0xCD}));
}

TEST_F(TcpControlServerTest, EnforcesTheFrameSizeLimits) {
  struct Case {
    uint32_t size;
    bool accepted;
  };
  for (const Case c : {Case{0, false}, Case{1048577, false}, Case{1048576, true}}) {
    SCOPED_TRACE(c.size);
    auto client = ConnectActive();
    std::vector<uint8_t> wire = BigEndianLength(c.size);
    if (c.accepted) {
      wire.resize(4 + c.size, 0x5A);
    }
    std::thread sender([&] { client->SendBytes(wire); });
    std::vector<uint8_t> frame;
    const Status received = server_.ReceiveFrame(frame);
    sender.join();
    EXPECT_EQ(received.ok, c.accepted);
    if (c.accepted) {
      EXPECT_EQ(frame.size(), c.size);
      EXPECT_TRUE(server_.HasActiveClient());
      client->Close();
      EXPECT_FALSE(server_.ReceiveFrame(frame).ok);  // the clean close ends this client
    } else {
      EXPECT_EQ(received.code, 4);
      EXPECT_EQ(received.message, "Invalid TCP frame size");
      EXPECT_TRUE(log_.Contains("[TCP] Invalid frame size: " + std::to_string(c.size)));
      EXPECT_FALSE(server_.HasActiveClient());
      EXPECT_TRUE(client->WaitForClose());
    }
  }
}

TEST_F(TcpControlServerTest, ReportsAPeerThatClosesAsAReceiveFailure) {
  auto client = ConnectActive();
  client->SendBytes({0, 0});
  client->Close();
  std::vector<uint8_t> frame;
  const Status status = server_.ReceiveFrame(frame);
  EXPECT_EQ(status.code, 3);
  EXPECT_EQ(status.message, "Failed to receive frame header");
  EXPECT_EQ(status.hr, 0u);
  EXPECT_TRUE(log_.Contains("[TCP] Active client disconnected (127.0.0.1:"));
  EXPECT_EQ(server_.ReceiveFrame(frame).message, "No active TCP client");
  EXPECT_FALSE(server_.SendFrame(nullptr, 0));
}

TEST_F(TcpControlServerTest, DropsASecondConnectionFromTheActiveAddress) {
  auto active = ConnectActive("127.0.0.1");
  auto duplicate = Connect("127.0.0.1");
  EXPECT_TRUE(duplicate->WaitForClose());
  EXPECT_TRUE(log_.WaitFor("[TCP] Dropping duplicate client 127.0.0.1:" +
                           std::to_string(duplicate->local_port()) + " (active=1 queued=0)"));

  auto queued = Connect("127.0.0.2");
  ASSERT_TRUE(log_.WaitFor("[TCP] Queued client 127.0.0.2:"));
  auto queued_duplicate = Connect("127.0.0.2");
  EXPECT_TRUE(queued_duplicate->WaitForClose());
  EXPECT_TRUE(log_.WaitFor("(active=0 queued=1)"));
  EXPECT_EQ(server_.ActiveClientAddress(), "127.0.0.1");
}

TEST_F(TcpControlServerTest, NewerCandidateReplacesTheQueuedClient) {
  auto active = ConnectActive("127.0.0.1");
  auto stale = Connect("127.0.0.2");
  ASSERT_TRUE(log_.WaitFor("[TCP] Queued client 127.0.0.2:"));
  auto newer = Connect("127.0.0.3");
  EXPECT_TRUE(stale->WaitForClose());
  EXPECT_TRUE(log_.WaitFor("[TCP] Queued client 127.0.0.3:" + std::to_string(newer->local_port()) +
                           " (queue=1)"));
  EXPECT_TRUE(log_.Contains("[TCP] Replaced stale queued client with newer candidate"));
}

TEST_F(TcpControlServerTest, PromotesTheQueuedClientWhenTheActiveOneLeaves) {
  auto active = ConnectActive("127.0.0.1");
  auto queued = Connect("127.0.0.2");
  ASSERT_TRUE(log_.WaitFor("[TCP] Queued client 127.0.0.2:"));
  active->Close();
  std::vector<uint8_t> frame;
  EXPECT_FALSE(server_.ReceiveFrame(frame).ok);

  EXPECT_TRUE(server_.WaitForActiveClient());
  EXPECT_EQ(server_.ActiveClientAddress(), "127.0.0.2");
  EXPECT_TRUE(log_.Contains("[TCP] Promoted queued client 127.0.0.2:" +
                            std::to_string(queued->local_port()) + " (remaining queue=0)"));
  ASSERT_TRUE(queued->SendFrame({7}));
  ASSERT_TRUE(server_.ReceiveFrame(frame).ok);
  EXPECT_EQ(frame, std::vector<uint8_t>{7});
}

TEST_F(TcpControlServerTest, StopWakesAWaiterWithNoClient) {
  std::atomic<bool> result{true};
  std::thread waiter([&] { result = server_.WaitForActiveClient(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  server_.Stop();
  waiter.join();
  EXPECT_FALSE(result.load());
  server_.Stop();  // idempotent
}

TEST_F(TcpControlServerTest, StopWakesABlockedReceive) {
  auto client = ConnectActive();
  std::atomic<bool> result{true};
  std::thread receiver([&] {
    std::vector<uint8_t> frame;
    result = server_.ReceiveFrame(frame).ok;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  server_.Stop();
  receiver.join();
  EXPECT_FALSE(result.load());
  EXPECT_TRUE(client->WaitForClose());
}

// A client that begins a frame and never finishes it, or stops reading what the host
// sends, loses its place to the waiting client once the deadline has passed.
TEST_F(TcpControlServerTest, AStalledClientIsDroppedAndTheQueuedOneServed) {
  enum class Stall { kInsideTheHeader, kInsideThePayload, kNotReading };
  for (const Stall stall :
       {Stall::kInsideTheHeader, Stall::kInsideThePayload, Stall::kNotReading}) {
    SCOPED_TRACE(static_cast<int>(stall));
    auto stalled = ConnectActive("127.0.0.1");
    auto waiting = Connect("127.0.0.2");
    ASSERT_TRUE(
        log_.WaitFor("[TCP] Queued client 127.0.0.2:" + std::to_string(waiting->local_port())));

    std::vector<uint8_t> frame;
    if (stall == Stall::kNotReading) {
      // Far more than the socket buffers hold; queuing never waits for the peer.
      const std::vector<uint8_t> big(1 << 20, 1);
      for (int i = 0; i < 32; ++i) {
        EXPECT_TRUE(server_.SendFrame(big.data(), static_cast<uint32_t>(big.size())));
      }
      EXPECT_FALSE(server_.ReceiveFrame(frame).ok);  // ended by the writer
      EXPECT_TRUE(log_.Contains("[TCP] Client 127.0.0.1:" + std::to_string(stalled->local_port()) +
                                " took no control frame for 1500 ms; closing the connection"));
    } else {
      std::vector<uint8_t> partial = BigEndianLength(100);
      partial.resize(stall == Stall::kInsideTheHeader ? 1 : 50, 0x11);
      ASSERT_TRUE(stalled->SendBytes(partial));
      const Status status = server_.ReceiveFrame(frame);
      EXPECT_EQ(status.message, "Control frame not completed in time");
      EXPECT_TRUE(log_.Contains(
          "[TCP] Control frame from 127.0.0.1:" + std::to_string(stalled->local_port()) +
          " not completed within 1500 ms; closing the connection"));
    }
    if (stall != Stall::kNotReading) {  // the other has megabytes to read before the close
      EXPECT_TRUE(stalled->WaitForClose());
    }
    ASSERT_TRUE(server_.WaitForActiveClient());
    EXPECT_EQ(server_.ActiveClientAddress(), "127.0.0.2");
    ASSERT_TRUE(waiting->SendFrame({5}));
    EXPECT_TRUE(server_.ReceiveFrame(frame).ok);
    const uint8_t reply[] = {6};
    EXPECT_TRUE(server_.SendFrame(reply, sizeof(reply)));
    ASSERT_TRUE(waiting->ReceiveFrame(frame));
    EXPECT_EQ(frame, std::vector<uint8_t>{6});
    waiting->Close();
    EXPECT_FALSE(server_.ReceiveFrame(frame).ok);
  }
}

TEST_F(TcpControlServerTest, AClientWithTooMuchUnreadIsEndedAtOnce) {
  auto client = ConnectActive();
  const std::vector<uint8_t> big(1 << 20, 1);
  bool queued = true;
  int frames = 0;
  while (queued && frames < 128) {
    queued = server_.SendFrame(big.data(), static_cast<uint32_t>(big.size()));
    ++frames;
  }
  EXPECT_FALSE(queued) << "48 MiB unread is the bound";
  EXPECT_TRUE(log_.Contains("[TCP] Client 127.0.0.1:" + std::to_string(client->local_port()) +
                            " is not reading its control frames; closing the connection"));
  std::vector<uint8_t> frame;
  EXPECT_FALSE(server_.ReceiveFrame(frame).ok);
  EXPECT_FALSE(server_.HasActiveClient());
}

TEST_F(TcpControlServerTest, FramesFromSeveralThreadsArriveWhole) {
  auto client = ConnectActive();
  constexpr int kThreads = 4;
  constexpr int kFramesPerThread = 40;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kFramesPerThread; ++i) {
        // Each frame is filled with one byte value, so any interleaving shows as a mix.
        const std::vector<uint8_t> payload(1000 + 7919 * ((t * kFramesPerThread + i) % 23),
                                           static_cast<uint8_t>(t * kFramesPerThread + i));
        EXPECT_TRUE(server_.SendFrame(payload.data(), static_cast<uint32_t>(payload.size())));
      }
    });
  }
  std::vector<int> seen(kThreads * kFramesPerThread, 0);
  for (int n = 0; n < kThreads * kFramesPerThread; ++n) {
    std::vector<uint8_t> frame;
    ASSERT_TRUE(client->ReceiveFrame(frame));
    const uint8_t id = frame.front();
    EXPECT_EQ(frame.size(), 1000u + 7919u * (id % 23));
    EXPECT_EQ(std::count(frame.begin(), frame.end(), id), static_cast<long>(frame.size()));
    ++seen[id];
  }
  for (std::thread& sender : senders) {
    sender.join();
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), kThreads * kFramesPerThread);
}

TEST(ControlConnectionTest, InterruptWakesItsUsersAndTheHandleLivesUntilTheLastLetsGo) {
  testing::ConnectedPair pair;
  const SocketHandle handle = pair.ReleaseHost();
  const uint16_t port = testing::BoundPort(handle);
  auto connection = std::make_shared<ControlConnection>(1, handle, "127.0.0.1", 0);

  // As ReceiveFrame does: the receiving thread holds its own reference.
  std::atomic<bool> returned{false};
  std::atomic<uint16_t> port_after_wake{0};
  std::thread receiver([&returned, &port_after_wake, held = connection] {
    uint8_t byte = 0;
    ReceiveSome(held->socket(), &byte, 1);
    returned = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    port_after_wake = testing::BoundPort(held->socket());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  connection->Interrupt();
  const bool woken = WaitUntil([&] { return returned.load(); });
  connection.reset();  // the server lets go first
  if (!woken) {
    CloseSocket(pair.client);  // the peer's close ends the receive instead
    pair.client = kInvalidSocket;
  }
  receiver.join();
  EXPECT_TRUE(woken);
  EXPECT_EQ(port_after_wake.load(), port);
  EXPECT_EQ(testing::BoundPort(handle), 0) << "closed when the receiver let go";
}

// A connection ended while the peer's last bytes lie unread must still end cleanly: a
// reset would make the peer drop the frames it had not yet read.
TEST(ControlConnectionTest, EndingWithUnreadBytesClosesCleanlyInsteadOfResetting) {
  testing::ConnectedPair pair;
  auto connection = std::make_unique<ControlConnection>(1, pair.ReleaseHost(), "127.0.0.1", 0);
  const std::vector<uint8_t> unread(100, 0x5A);
  ASSERT_EQ(SendSome(pair.client, unread.data(), unread.size()), 100);
  connection.reset();

  uint8_t byte = 0;
  SetReceiveTimeout(pair.client, 5000);
  EXPECT_EQ(ReceiveSome(pair.client, &byte, 1), 0) << "the stream ends";
  int error = -1;
  socklen_t size = sizeof(error);
  ASSERT_EQ(getsockopt(pair.client, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size),
            0);
  EXPECT_EQ(error, 0) << "the host reset the connection";
}

TEST(TcpControlServerSetupTest, NoOtherSocketCanBindTheControlPort) {
  LogCapture log;
  const uint16_t port = testing::FreeTcpPort();
  TcpControlServer first;
  ASSERT_TRUE(first.StartListening(port).ok);
  TcpControlServer second;
  const Status status = second.StartListening(port);
  EXPECT_EQ(status.code, static_cast<int32_t>(StatusCode::kPortTaken));
  EXPECT_EQ(status.message, "bind() failed");
  EXPECT_EQ(status.hr & 0xFFFF0000u, 0x80070000u);
  EXPECT_TRUE(log.Contains("[TCP] bind() failed on port " + std::to_string(port)));
  EXPECT_FALSE(testing::BindsWithAddressReuse(SOCK_STREAM, port));
}

}  // namespace
}  // namespace orvane
