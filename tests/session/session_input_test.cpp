#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/byte_order.h"
#include "security/secure_envelope.h"
#include "session/session_harness.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

const std::vector<uint8_t> kPunch = {'O', 'R', 'V', 'M', 'P', '1'};

std::vector<uint16_t> KeyCodes(const SinkRecord& input) {
  std::vector<uint16_t> codes;
  for (const KeyRecord& key : input.Keys()) {
    codes.push_back(key.virtual_key);
  }
  return codes;
}

// The touch frames that changed a contact: held contacts are injected again while they
// stay down, in frames of updates only, which these tests have no other use for.
std::vector<SinkCall> TouchChanges(const SinkRecord& input) {
  std::vector<SinkCall> frames;
  for (const SinkCall& frame : input.Calls(SinkCall::Kind::kTouch)) {
    for (const TouchContact& contact : frame.contacts) {
      if ((contact.flags & pointer_flag::kUpdate) == 0) {
        frames.push_back(frame);
        break;
      }
    }
  }
  return frames;
}

// (code, up) of every key the sink received.
std::vector<std::pair<uint16_t, bool>> KeyStrokes(const SinkRecord& input) {
  std::vector<std::pair<uint16_t, bool>> strokes;
  for (const KeyRecord& key : input.Keys()) {
    strokes.emplace_back(key.virtual_key, key.up);
  }
  return strokes;
}

TEST(SessionInputTest, NothingIsInjectedBeforeAuthentication) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client);
  ASSERT_TRUE(harness.log().WaitFor("[Session] Active client: 127.0.0.1"));
  harness.SendInput("127.0.0.1", KeyEvent(1));
  harness.SendInput("127.0.0.1", TouchEvent(0, 1, 0.25f, 0.75f));
  // Handled in arrival order: once the punch is honoured, the events above were refused.
  harness.SendInput("127.0.0.1", kPunch);
  ASSERT_TRUE(harness.log().WaitFor("updated via punch: 127.0.0.1"));
  ASSERT_TRUE(harness.Authenticate(*client));
  harness.SendInput("127.0.0.1", TouchEvent(0, 2, 0.25f, 0.75f));
  ASSERT_TRUE(harness.InputSettled());
  const auto frames = TouchChanges(harness.input());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].contacts[0].pointer_id, 100u);  // the first finger the injector saw
  EXPECT_EQ(frames[0].contacts[0].x, 479);
  EXPECT_EQ(frames[0].contacts[0].y, 809);
  EXPECT_FALSE(harness.Injected(1));
}

// Every control connection here comes from the loopback network, as over the USB route:
// the first bare punch from another address joins that address to the client, and no
// later one may.
TEST(SessionInputTest, OverTheUsbRouteOnlyTheFirstPunchingAddressJoinsTheClient) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  harness.SendInput("127.0.0.2", KeyEvent(3));  // input binds nothing
  const uint16_t punch_port = harness.SendInput("127.0.0.2", kPunch);
  EXPECT_TRUE(
      harness.log().WaitFor("[Session] Media UDP remote endpoint updated via punch: 127.0.0.2:" +
                            std::to_string(punch_port)));
  harness.SendInput("127.0.0.2", KeyEvent(4));
  harness.SendInput("127.0.0.3", kPunch);
  harness.SendInput("127.0.0.3", KeyEvent(5));
  ASSERT_TRUE(harness.InputSettled("127.0.0.2"));
  ASSERT_TRUE(harness.InputSettled());
  EXPECT_EQ(harness.log().Count("updated via punch"), 1u);
  EXPECT_FALSE(harness.Injected(3));
  EXPECT_TRUE(harness.Injected(4));
  EXPECT_FALSE(harness.Injected(5));
}

TEST(SessionInputTest, AcceptsALengthPrefixedEventAndDropsSealedInputThatDoesNotOpen) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  ASSERT_TRUE(harness.StartStream(*client));
  EXPECT_TRUE(harness.log().Contains("[Session] Transport encryption enabled"));

  const std::vector<uint8_t> event = KeyEvent(4, true);
  std::vector<uint8_t> prefixed(4);
  StoreBigEndian32(static_cast<uint32_t>(event.size()), prefixed.data());
  prefixed.insert(prefixed.end(), event.begin(), event.end());
  harness.SendInput("127.0.0.1", prefixed);

  std::vector<uint8_t> forged;
  ASSERT_TRUE(
      SealEnvelope(std::vector<uint8_t>(32, 0x33), kInputDirection, 1, KeyEvent(5, true), forged));
  harness.SendInput("127.0.0.1", forged);

  std::vector<uint8_t> sealed;
  ASSERT_TRUE(SealEnvelope(client->primary_key(), kInputDirection, 2, KeyEvent(6, true), sealed));
  harness.SendInput("127.0.0.1", sealed);

  ASSERT_TRUE(harness.InputSettled());
  const std::vector<uint16_t> codes = KeyCodes(harness.input());
  ASSERT_EQ(codes.size(), 3u);  // and the marker
  EXPECT_EQ((std::vector<uint16_t>{codes[0], codes[1]}), (std::vector<uint16_t>{4, 6}));
}

TEST(SessionInputTest, TakesASealedDatagramOnceUntilTheNextStreamStarts) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  ASSERT_TRUE(harness.StartStream(*client));
  auto sealed = [&](uint64_t counter, uint16_t key_code) {
    std::vector<uint8_t> envelope;
    SealEnvelope(client->primary_key(), kInputDirection, counter, KeyEvent(key_code, true),
                 envelope);
    return envelope;
  };

  harness.SendInput("127.0.0.1", sealed(1, 0x21));
  harness.SendInput("127.0.0.1", sealed(1, 0x21));
  ASSERT_TRUE(harness.InputSettled());
  EXPECT_EQ(KeyCodes(harness.input()).front(), 0x21);
  EXPECT_EQ(KeyCodes(harness.input()).size(), 2u);  // and the marker
  EXPECT_TRUE(harness.log().WaitFor("counter already used or too old"));

  harness.input().Clear();
  ASSERT_TRUE(harness.StartStream(*client));
  harness.SendInput("127.0.0.1", sealed(1, 0x21));
  ASSERT_TRUE(harness.InputSettled());
  EXPECT_EQ(KeyCodes(harness.input()).front(), 0x21);
}

// Keys, fingers and buttons a client holds when it goes are released, so no modifier
// stays stuck for the next user of the computer.
class HeldInputTest : public ::testing::Test {
 protected:
  void HoldShiftAndAFinger(const std::string& address) {
    harness_.SendInput(address, KeyEvent(0x10));
    harness_.SendInput(address, KeyEvent(0x41));
    harness_.SendInput(address, TouchEvent(0, 1, 0.5f, 0.5f));
    ASSERT_TRUE(harness_.InputSettled(address));
    harness_.input().Clear();
  }

  // The shift and the finger were released once, in one go.
  void ExpectReleased() {
    ASSERT_TRUE(WaitUntil([&] { return harness_.input().Keys().size() >= 2; }));
    EXPECT_EQ(KeyStrokes(harness_.input()),
              (std::vector<std::pair<uint16_t, bool>>{{0x41, true}, {0x10, true}}));
    const auto frames = TouchChanges(harness_.input());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].contacts[0].flags & pointer_flag::kCanceled, pointer_flag::kCanceled);
    EXPECT_EQ(harness_.log().Count("[Input] Releasing input the client left held"), 1u);
  }

  SessionHarness harness_;
};

TEST_F(HeldInputTest, AreReleasedWhenTheClientDisconnects) {
  auto client = harness_.Connect();
  ASSERT_TRUE(client && harness_.Authenticate(*client));
  HoldShiftAndAFinger("127.0.0.1");
  client->Close();
  ExpectReleased();
}

TEST_F(HeldInputTest, AreReleasedBeforeAPromotedClientActs) {
  auto first = harness_.Connect("127.0.0.1");
  ASSERT_TRUE(first && harness_.Authenticate(*first));
  ASSERT_TRUE(harness_.StartStream(*first));
  auto second = harness_.Connect("127.0.0.2");
  ASSERT_TRUE(second);
  HoldShiftAndAFinger("127.0.0.1");
  first->Close();
  ASSERT_TRUE(harness_.log().WaitFor("[Session] Promoted/connected next client: 127.0.0.2"));
  ExpectReleased();
  ASSERT_TRUE(harness_.Authenticate(*second));
  ASSERT_TRUE(harness_.InputSettled("127.0.0.2"));
}

TEST_F(HeldInputTest, AreReleasedWhenTheSessionStops) {
  auto client = harness_.Connect();
  ASSERT_TRUE(client && harness_.Authenticate(*client));
  HoldShiftAndAFinger("127.0.0.1");
  harness_.Stop();
  ExpectReleased();
}

}  // namespace
}  // namespace orvane::testing
