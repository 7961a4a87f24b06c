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

std::vector<uint32_t> TouchIds(const RecordingInjector& injector) {
  std::vector<uint32_t> ids;
  for (const auto& touch : injector.Touches()) {
    ids.push_back(touch.pointer_id);
  }
  return ids;
}

TEST(SessionInputTest, NothingIsInjectedBeforeAuthentication) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client);
  ASSERT_TRUE(harness.log().WaitFor("[Session] Active client: 127.0.0.1"));
  harness.SendInput("127.0.0.1", TouchEvent(1, 0.25f));
  std::this_thread::sleep_for(200ms);
  ASSERT_TRUE(harness.Authenticate(*client));
  harness.SendInput("127.0.0.1", TouchEvent(2, 0.25f));
  ASSERT_TRUE(harness.InputSettled());
  const auto touches = harness.injector().Touches();
  ASSERT_EQ(touches.size(), 2u);
  EXPECT_EQ(touches[0].pointer_id, 2u);
  EXPECT_FLOAT_EQ(touches[0].x, 0.25f);
}

TEST(SessionInputTest, OnlyTheControlClientsAddressMayPunchOrSendBareInput) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  harness.SendInput("127.0.0.2", kPunch);
  harness.SendInput("127.0.0.2", TouchEvent(3, 0.1f));
  const uint16_t punch_port = harness.SendInput("127.0.0.1", kPunch);
  EXPECT_TRUE(
      harness.log().WaitFor("[Session] Media UDP remote endpoint updated via punch: 127.0.0.1:" +
                            std::to_string(punch_port)));
  ASSERT_TRUE(harness.InputSettled());
  EXPECT_EQ(harness.log().Count("updated via punch"), 1u);
  EXPECT_FALSE(harness.injector().HasTouch(3));
}

TEST(SessionInputTest, AcceptsALengthPrefixedEventAndDropsSealedInputThatDoesNotOpen) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  ASSERT_TRUE(harness.StartStream(*client));
  EXPECT_TRUE(harness.log().Contains("[Session] Transport encryption enabled"));

  const std::vector<uint8_t> event = TouchEvent(4, 0.75f);
  std::vector<uint8_t> prefixed(4);
  StoreBigEndian32(static_cast<uint32_t>(event.size()), prefixed.data());
  prefixed.insert(prefixed.end(), event.begin(), event.end());
  harness.SendInput("127.0.0.1", prefixed);

  std::vector<uint8_t> forged;
  ASSERT_TRUE(SealEnvelope(std::vector<uint8_t>(32, 0x33), kInputDirection, 1, TouchEvent(5, 0.5f),
                           forged));
  harness.SendInput("127.0.0.1", forged);

  std::vector<uint8_t> sealed;
  ASSERT_TRUE(SealEnvelope(client->primary_key(), kInputDirection, 2, TouchEvent(6, 0.5f), sealed));
  harness.SendInput("127.0.0.1", sealed);

  ASSERT_TRUE(harness.InputSettled());
  const std::vector<uint32_t> ids = TouchIds(harness.injector());
  ASSERT_GE(ids.size(), 2u);
  EXPECT_EQ((std::vector<uint32_t>{ids[0], ids[1]}), (std::vector<uint32_t>{4, 6}));
  EXPECT_EQ(ids.size(), 3u);                            // and the marker
  EXPECT_EQ(harness.injector().screen_width(), 1920u);  // the negotiated picture
}

}  // namespace
}  // namespace orvane::testing
