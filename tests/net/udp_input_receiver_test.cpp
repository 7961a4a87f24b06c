#include "net/udp_input_receiver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/udp_test_peer.h"
#include "support/log_capture.h"
#include "support/socket_probe.h"

namespace orvane {
namespace {

using testing::LogCapture;
using testing::UdpPeer;
using testing::WaitUntil;

struct Received {
  std::vector<uint8_t> bytes;
  DatagramSource source;
};

class UdpInputReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = testing::FreeUdpPort();
    ASSERT_TRUE(receiver_.Start(port_, Recorder()).ok);
  }

  // Keeps every datagram handed over, with its source.
  UdpInputReceiver::DatagramHandler Recorder() {
    return [this](std::span<const uint8_t> datagram, const DatagramSource& source) {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back({{datagram.begin(), datagram.end()}, source});
    };
  }

  std::vector<Received> ReceivedSoFar() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

  bool WaitForCount(size_t count) {
    return WaitUntil([&] { return ReceivedSoFar().size() >= count; });
  }

  LogCapture log_;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::vector<Received> received_;
  UdpInputReceiver receiver_;
};

TEST_F(UdpInputReceiverTest, HandsEachDatagramWithItsSourceToTheHandler) {
  EXPECT_TRUE(log_.Contains("[UDPRecv] Listening for input on port " + std::to_string(port_)));
  UdpPeer client;
  const std::vector<uint8_t> payload = {'O', 'R', 'V', 'M', 'P', '1'};
  ASSERT_TRUE(client.SendTo(port_, payload));
  ASSERT_TRUE(WaitForCount(1));
  const Received first = ReceivedSoFar()[0];
  EXPECT_EQ(first.bytes, payload);
  EXPECT_EQ(first.source.address, "127.0.0.1");
  EXPECT_EQ(first.source.port, client.port());
}

TEST_F(UdpInputReceiverTest, LosesOnlyDatagramsThatDoNotFitItsBuffer) {
  UdpPeer client;
  const std::vector<uint8_t> fits(UdpInputReceiver::kReceiveBufferSize, 0x11);
  const std::vector<uint8_t> too_long(UdpInputReceiver::kReceiveBufferSize + 1, 0x22);
  ASSERT_TRUE(client.SendTo(port_, {}));  // nothing to act on: not handed over
  ASSERT_TRUE(client.SendTo(port_, too_long));
  ASSERT_TRUE(WaitUntil([&] { return log_.Contains("[UDPRecv] recvfrom error: "); }));

  ASSERT_TRUE(client.SendTo(port_, fits));
  ASSERT_TRUE(WaitForCount(1));
  EXPECT_EQ(ReceivedSoFar().size(), 1u);
  EXPECT_EQ(ReceivedSoFar()[0].bytes, fits);
}

TEST_F(UdpInputReceiverTest, StopWakesTheThreadAndReleasesThePort) {
  receiver_.Stop();
  receiver_.Stop();

  // The port is free again: a new start binds it and receives.
  ASSERT_TRUE(receiver_.Start(port_, Recorder()).ok);
  UdpPeer client;
  ASSERT_TRUE(client.SendTo(port_, std::vector<uint8_t>{1}));
  EXPECT_TRUE(WaitForCount(1));
}

TEST_F(UdpInputReceiverTest, WaitsNoLongerThanItsTickAsksAndTakesTheTimeoutForNoError) {
  receiver_.Stop();
  std::atomic<int> ticks{0};
  std::atomic<bool> keep_ticking{true};
  ASSERT_TRUE(receiver_
                  .Start(port_, Recorder(),
                         [&]() -> std::optional<std::chrono::milliseconds> {
                           ++ticks;
                           if (keep_ticking) {
                             return std::chrono::milliseconds(5);
                           }
                           return std::nullopt;
                         })
                  .ok);
  // The waits run out without a datagram: ticks keep coming, and no timeout is an error.
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 5; }));
  // Waiting without a limit again, it still takes datagrams.
  keep_ticking = false;
  UdpPeer client;
  ASSERT_TRUE(client.SendTo(port_, std::vector<uint8_t>{1}));
  ASSERT_TRUE(WaitForCount(1));
  EXPECT_FALSE(log_.Contains("[UDPRecv] recvfrom error"));
  receiver_.Stop();  // the tick refers to this test's locals
}

TEST_F(UdpInputReceiverTest, ReportsAPortThatIsTaken) {
  UdpInputReceiver second;
  const Status refused = second.Start(port_, {});
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.message, "UDP receiver bind() failed");
  EXPECT_TRUE(log_.Contains("[UDPRecv] bind() failed on port " + std::to_string(port_) + ": "));
  second.Stop();
  // Nor can another program that asks to share the port take its datagrams.
  EXPECT_FALSE(testing::BindsWithAddressReuse(SOCK_DGRAM, port_));
}

}  // namespace
}  // namespace orvane
