#include "net/input_datagram_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/secure_envelope.h"
#include "support/log_capture.h"

namespace orvane {
namespace {

using protocol::v1::InputEvent;
using testing::LogCapture;

const std::vector<uint8_t> kKey(32, 0x3C);
const std::vector<uint8_t> kOtherKey(32, 0x3D);
const std::vector<uint8_t> kPunch = {'O', 'R', 'V', 'M', 'P', '1'};
// A client on the network; the USB route (a loopback control address) has its own test.
constexpr const char* kControlAddress = "192.0.2.10";

std::vector<uint8_t> TouchBytes() {
  InputEvent event;
  event.set_sequence_number(3);
  auto* touch = event.mutable_touch();
  touch->set_pointer_id(7);
  touch->set_x_normalized(0.25f);
  const std::string bytes = event.SerializeAsString();
  return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> Sealed(const std::vector<uint8_t>& payload,
                            const std::vector<uint8_t>& key = kKey, uint64_t counter = 11) {
  std::vector<uint8_t> envelope;
  SealEnvelope(key, kInputDirection, counter, payload, envelope);
  return envelope;
}

std::vector<uint8_t> Clear(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> envelope = {'O', 'R', 'V', '1', 0, 0, 0, 0, 0, 0, 0, 0, 1};
  envelope.insert(envelope.end(), payload.begin(), payload.end());
  return envelope;
}

std::vector<uint8_t> Prefixed(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> bytes = {0, 0, 0, static_cast<uint8_t>(payload.size())};
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

std::vector<uint8_t> WithFlippedLastByte(std::vector<uint8_t> bytes) {
  bytes.back() ^= 0x01;
  return bytes;
}

TEST(InputDatagramFilterTest, LetsOnlyTheControlClientActOnTheSession) {
  constexpr bool kAuthenticated = true;
  constexpr bool kNotYet = false;
  constexpr auto kMove = InputAction::kMoveMediaEndpoint;
  constexpr auto kInject = InputAction::kInject;
  constexpr auto kDrop = InputAction::kDrop;
  struct Case {
    const char* name;
    std::vector<uint8_t> datagram;
    const char* source;
    const char* control;  // the active control client's address; "" when there is none
    bool authenticated;
    std::vector<uint8_t> key;
    InputAction action;
    int32_t status_code;
  };
  const std::vector<uint8_t> none;
  const std::vector<uint8_t> touch = TouchBytes();
  std::vector<uint8_t> punch_and_more = kPunch;
  punch_and_more.push_back('x');
  const std::vector<uint8_t> empty_event = {0x10, 0x05};
  const std::vector<uint8_t> no_message = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const char* control = kControlAddress;
  const char* other = "192.0.2.11";
  const Case cases[] = {
      // Punches: from the control client's address or sealed with the key, authenticated
      // or not yet.
      {"bare punch from the control address", kPunch, control, control, kAuthenticated, kKey, kMove,
       0},
      {"clear-envelope punch from the control address", Clear(kPunch), control, control,
       kAuthenticated, kKey, kMove, 0},
      {"sealed punch from elsewhere", Sealed(kPunch), other, control, kAuthenticated, kKey, kMove,
       0},
      {"bare punch from the control address before authentication", kPunch, control, control,
       kNotYet, none, kMove, 0},
      {"sealed punch from elsewhere before authentication", Sealed(kPunch), other, control, kNotYet,
       kKey, kMove, 0},
      {"bare punch from elsewhere", kPunch, other, control, kAuthenticated, kKey, kDrop, 0},
      {"bare punch from elsewhere without a key", kPunch, other, control, kAuthenticated, none,
       kDrop, 0},
      {"bare punch from elsewhere before authentication", kPunch, other, control, kNotYet, none,
       kDrop, 0},
      {"sealed punch under another key", Sealed(kPunch, kOtherKey), control, control, kNotYet, kKey,
       kDrop, 4},
      {"punch without an active control client", kPunch, control, "", kNotYet, none, kDrop, 0},
      {"sealed punch without an active control client", Sealed(kPunch), other, "", kNotYet, kKey,
       kDrop, 0},
      // Input: the same origins, and only once the client has authenticated.
      {"bare input from the control address", touch, control, control, kAuthenticated, kKey,
       kInject, 0},
      {"bare input without a key", touch, control, control, kAuthenticated, none, kInject, 0},
      {"sealed input from elsewhere", Sealed(touch), other, control, kAuthenticated, kKey, kInject,
       0},
      {"length-prefixed input", Prefixed(touch), control, control, kAuthenticated, kKey, kInject,
       0},
      {"sealed length-prefixed input", Sealed(Prefixed(touch)), other, control, kAuthenticated,
       kKey, kInject, 0},
      {"bare input before authentication", touch, control, control, kNotYet, none, kDrop, 0},
      {"sealed input before authentication", Sealed(touch), control, control, kNotYet, kKey, kDrop,
       0},
      {"bare input from elsewhere", touch, other, control, kAuthenticated, kKey, kDrop, 0},
      {"clear-envelope input from elsewhere", Clear(touch), other, control, kAuthenticated, kKey,
       kDrop, 0},
      {"sealed input with a wrong tag", WithFlippedLastByte(Sealed(touch)), control, control,
       kAuthenticated, kKey, kDrop, 4},
      {"sealed under another key", Sealed(touch, kOtherKey), control, control, kAuthenticated, kKey,
       kDrop, 4},
      {"sealed while the session has no key", Sealed(touch), control, control, kAuthenticated, none,
       kDrop, 4},
      {"seven bytes starting with the punch", punch_and_more, control, control, kAuthenticated,
       kKey, kDrop, 0},
      {"an event without touch, pen or key", empty_event, control, control, kAuthenticated, kKey,
       kDrop, 0},
      {"bytes that are no message at all", no_message, control, control, kAuthenticated, kKey,
       kDrop, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputDatagramFilter filter;
    const DatagramSource source{c.source, 40000};
    const InputDecision decision =
        filter.Decide(c.datagram, source, {c.authenticated, c.control, c.key});
    EXPECT_EQ(decision.action, c.action);
    EXPECT_EQ(decision.status.code, c.status_code);
    if (c.status_code == 4) {
      EXPECT_EQ(decision.status.message, "Failed to decrypt secure UDP input payload");
    }
    if (c.action == InputAction::kMoveMediaEndpoint) {
      EXPECT_EQ(decision.media_endpoint.address, c.source);
      EXPECT_EQ(decision.media_endpoint.port, 40000);
    }
    if (c.action == InputAction::kInject) {
      ASSERT_TRUE(decision.event.has_touch());
      EXPECT_EQ(decision.event.touch().pointer_id(), 7u);
      EXPECT_EQ(decision.event.touch().x_normalized(), 0.25f);
    }
  }
}

TEST(InputDatagramFilterTest, WarnsAboutDroppedDatagramsAtMostOncePerSecond) {
  LogCapture log;
  uint64_t now_ms = 5000;
  InputDatagramFilter filter([&] { return now_ms; });
  const InputSessionState session{true, kControlAddress, kKey};
  const DatagramSource stranger{"192.0.2.11", 4444};
  const char* line =
      "[UDPRecv] Dropped input datagram from 192.0.2.11:4444: unsealed and not "
      "from the control client";

  for (const uint64_t at : {5000, 5500, 5999}) {
    now_ms = at;
    filter.Decide(kPunch, stranger, session);
  }
  EXPECT_EQ(log.Count(line), 1u);
  EXPECT_TRUE(log.Contains(std::string(line) + " (dropped=1)"));

  now_ms = 6000;
  filter.Decide(kPunch, stranger, session);
  EXPECT_TRUE(log.Contains(std::string(line) + " (dropped=4)"));

  // A sealed datagram that fails to open only sets the status.
  now_ms = 9000;
  filter.Decide(WithFlippedLastByte(Sealed(kPunch)), stranger, session);
  EXPECT_EQ(log.Count("[UDPRecv] Dropped input datagram"), 2u);
}

TEST(InputDatagramFilterTest, TakesEachSealedDatagramOnceUntilTheWindowRestarts) {
  LogCapture log;
  uint64_t now_ms = 1000;
  InputDatagramFilter filter([&] { return now_ms; });
  const InputSessionState session{true, kControlAddress, kKey};
  const DatagramSource elsewhere{"192.0.2.11", 4444};
  const std::vector<uint8_t> touch = TouchBytes();
  auto action_of = [&](const std::vector<uint8_t>& datagram) {
    return filter.Decide(datagram, elsewhere, session).action;
  };

  EXPECT_EQ(action_of(Sealed(kPunch, kKey, 5)), InputAction::kMoveMediaEndpoint);
  EXPECT_EQ(action_of(Sealed(touch, kKey, 9)), InputAction::kInject);
  // Late but inside the window.
  EXPECT_EQ(action_of(Sealed(touch, kKey, 7)), InputAction::kInject);
  // Replays, of a punch and of input, also from the control client's own address.
  EXPECT_EQ(action_of(Sealed(kPunch, kKey, 5)), InputAction::kDrop);
  EXPECT_EQ(action_of(Sealed(touch, kKey, 9)), InputAction::kDrop);
  EXPECT_EQ(filter.Decide(Sealed(touch, kKey, 7), {kControlAddress, 5555}, session).action,
            InputAction::kDrop);
  EXPECT_EQ(log.Count("[UDPRecv] Dropped input datagram from 192.0.2.11:4444: counter already "
                      "used or too old (dropped=1)"),
            1u);
  EXPECT_EQ(log.Count("[UDPRecv] Dropped input datagram"), 1u);

  // A datagram that does not open leaves no mark: the genuine one still gets through.
  EXPECT_EQ(action_of(WithFlippedLastByte(Sealed(touch, kKey, 12))), InputAction::kDrop);
  EXPECT_EQ(action_of(Sealed(touch, kKey, 12)), InputAction::kInject);

  filter.RestartReplayWindow();
  EXPECT_EQ(action_of(Sealed(kPunch, kKey, 5)), InputAction::kMoveMediaEndpoint);
  now_ms = 2000;
  EXPECT_EQ(action_of(Sealed(kPunch, kKey, 5)), InputAction::kDrop);
  EXPECT_TRUE(log.Contains("counter already used or too old (dropped=4)"));
}

// adb reverse brings the control connection from the loopback network, while the phone's
// datagrams come from its own address.
TEST(InputDatagramFilterTest, TheUsbRouteBindsTheFirstPunchingAddressForTheConnection) {
  LogCapture log;
  InputDatagramFilter filter;
  const std::vector<uint8_t> touch = TouchBytes();
  const InputSessionState session{true, "127.0.0.1", kKey};
  const DatagramSource phone{"192.0.2.20", 40000};
  const DatagramSource third{"192.0.2.21", 40001};
  const auto action = [&](const std::vector<uint8_t>& datagram, const DatagramSource& source) {
    return filter.Decide(datagram, source, session).action;
  };

  EXPECT_EQ(action(touch, phone), InputAction::kDrop) << "input binds nothing";
  EXPECT_EQ(action(kPunch, phone), InputAction::kMoveMediaEndpoint);
  EXPECT_TRUE(
      log.Contains("[UDPRecv] USB route: the control client's media and input now use "
                   "192.0.2.20"));
  EXPECT_EQ(action(touch, phone), InputAction::kInject);
  EXPECT_EQ(action(kPunch, third), InputAction::kDrop);
  EXPECT_EQ(action(touch, third), InputAction::kDrop);
  EXPECT_EQ(action(Sealed(kPunch), third), InputAction::kMoveMediaEndpoint) << "sealed still may";
  // The control client's own address keeps its rights.
  EXPECT_EQ(action(touch, {"127.0.0.1", 5000}), InputAction::kInject);

  filter.StartConnection();
  EXPECT_EQ(action(touch, phone), InputAction::kDrop);
  EXPECT_EQ(action(kPunch, third), InputAction::kMoveMediaEndpoint);
  EXPECT_EQ(action(touch, third), InputAction::kInject);
  EXPECT_EQ(action(kPunch, phone), InputAction::kDrop);

  // A client on the network binds nothing.
  InputDatagramFilter network_filter;
  const InputSessionState network_session{true, kControlAddress, kKey};
  EXPECT_EQ(network_filter.Decide(kPunch, phone, network_session).action, InputAction::kDrop);
}

}  // namespace
}  // namespace orvane
