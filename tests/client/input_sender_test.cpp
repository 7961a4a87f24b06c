#include "client/input_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "client/media_receiver.h"
#include "net/udp_input_receiver.h"
#include "security/secure_envelope.h"
#include "support/test_socket.h"

namespace orvane::client {
namespace {

namespace v1 = orvane::protocol::v1;

const std::vector<uint8_t> kKey(32, 0x3C);

struct Arrival {
  std::vector<uint8_t> datagram;
  DatagramSource source;
};

// The host's input port: its real receiver, recording what arrives and from where.
class HostInputPort {
 public:
  HostInputPort() {
    port_ = testing::FreeUdpPort();
    started_ = receiver_
                   .Start(port_,
                          [this](std::span<const uint8_t> datagram, const DatagramSource& source) {
                            std::lock_guard<std::mutex> lock(mutex_);
                            arrivals_.push_back({{datagram.begin(), datagram.end()}, source});
                            arrived_.notify_all();
                          })
                   .ok;
  }

  bool started() const { return started_; }
  sockaddr_in address() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

  std::optional<Arrival> Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::seconds(5), [this] { return !arrivals_.empty(); })) {
      return std::nullopt;
    }
    Arrival arrival = std::move(arrivals_.front());
    arrivals_.pop_front();
    return arrival;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Arrival> arrivals_;
  UdpInputReceiver receiver_;
  uint16_t port_ = 0;
  bool started_ = false;
};

v1::InputEvent KeyPress(uint32_t key_code) {
  v1::InputEvent event;
  event.set_sequence_number(key_code);
  event.mutable_key()->set_action(v1::KEY_ACTION_KEY_DOWN);
  event.mutable_key()->set_key_code(key_code);
  return event;
}

TEST(InputSenderTest, PunchFromTheMediaSocketIsExactlyTheSixBytesFromItsPort) {
  HostInputPort host;
  ASSERT_TRUE(host.started());
  MediaReceiver media;
  ASSERT_TRUE(media.Open(0)) << media.last_error();
  InputSender sender;
  sender.Attach(media.socket(), host.address());
  ASSERT_TRUE(sender.SendPunch()) << sender.last_error();
  const std::optional<Arrival> punch = host.Next();
  ASSERT_TRUE(punch);
  EXPECT_EQ(punch->datagram, (std::vector<uint8_t>{'O', 'R', 'V', 'M', 'P', '1'}));
  EXPECT_EQ(punch->source.port, media.port());
}

TEST(InputSenderTest, EventsGoBareOrSealedInTheInputDirectionWithTheirOwnCounter) {
  HostInputPort host;
  ASSERT_TRUE(host.started());
  InputSender sender;
  ASSERT_TRUE(sender.Open(host.address())) << sender.last_error();

  ASSERT_TRUE(sender.SendEvent(KeyPress(30)));
  std::optional<Arrival> bare = host.Next();
  ASSERT_TRUE(bare);
  v1::InputEvent received;
  ASSERT_TRUE(
      received.ParseFromArray(bare->datagram.data(), static_cast<int>(bare->datagram.size())));
  EXPECT_EQ(received.key().key_code(), 30u);

  sender.SetKey(kKey);
  for (const uint32_t key_code : {31u, 32u}) {
    ASSERT_TRUE(sender.SendEvent(KeyPress(key_code)));
    const std::optional<Arrival> sealed = host.Next();
    ASSERT_TRUE(sealed);
    const EnvelopeView envelope = ParseEnvelope(sealed->datagram);
    ASSERT_EQ(envelope.kind, EnvelopeKind::kSealed);
    EXPECT_EQ(envelope.counter, key_code - 31u);
    const auto opened = OpenEnvelope(sealed->datagram, kKey, kInputDirection);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(received.ParseFromArray(opened->data(), static_cast<int>(opened->size())));
    EXPECT_EQ(received.key().key_code(), key_code);
    EXPECT_FALSE(OpenEnvelope(sealed->datagram, kKey, kMediaDirection));
  }
}

}  // namespace
}  // namespace orvane::client
