#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "security/secure_envelope.h"
#include "session/session_harness.h"

namespace orvane::testing {
namespace {

namespace pb = protocol::v1;
using namespace std::chrono_literals;

const std::vector<uint8_t> kPunch = {'O', 'R', 'V', 'M', 'P', '1'};

// The first client streams; a second one waits in the queue behind it.
class ClientAdoptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = harness_.Connect("127.0.0.1");
    ASSERT_TRUE(first_ && harness_.Authenticate(*first_));
    second_ = harness_.Connect("127.0.0.2");
    ASSERT_TRUE(second_);
    ASSERT_TRUE(harness_.log().WaitFor("[TCP] Queued client 127.0.0.2:"));
  }

  // The first client leaves; the second is promoted and set up by the session.
  void PromoteSecond() {
    first_->Close();
    ASSERT_TRUE(harness_.log().WaitFor("[Session] Promoted/connected next client: 127.0.0.2"));
  }

  SessionHarness harness_;
  std::unique_ptr<client::ControlClient> first_;
  std::unique_ptr<client::ControlClient> second_;
};

TEST_F(ClientAdoptionTest, APromotedClientInheritsNoAuthenticationKeysOrStream) {
  ASSERT_TRUE(harness_.StartStream(*first_));
  const std::vector<uint8_t> old_key = first_->primary_key();
  PromoteSecond();
  EXPECT_TRUE(harness_.log().WaitFor("[FrameLoop] Stopped after"));

  // Before its own Hello the newcomer's bare input does nothing; its punch may re-aim
  // the media, which goes nowhere without a stream.
  harness_.SendInput("127.0.0.2", KeyEvent(1));
  // The old client's key opens nothing any more, from anywhere.
  std::vector<uint8_t> sealed_key;
  ASSERT_TRUE(SealEnvelope(old_key, kInputDirection, 7, KeyEvent(2), sealed_key));
  harness_.SendInput("127.0.0.3", sealed_key);
  std::vector<uint8_t> sealed_punch;
  ASSERT_TRUE(SealEnvelope(old_key, kInputDirection, 8, kPunch, sealed_punch));
  harness_.SendInput("127.0.0.3", sealed_punch);
  // The input port reads in arrival order, so once the newcomer's punch is honoured
  // everything above was handled, all before the Hello below makes input valid.
  harness_.SendInput("127.0.0.2", kPunch);
  ASSERT_TRUE(harness_.log().WaitFor("updated via punch: 127.0.0.2"));

  ASSERT_TRUE(harness_.Authenticate(*second_));
  ASSERT_TRUE(harness_.InputSettled("127.0.0.2"));
  EXPECT_FALSE(harness_.Injected(1));
  EXPECT_FALSE(harness_.Injected(2));
  EXPECT_FALSE(harness_.log().Contains("updated via punch: 127.0.0.3"));
  EXPECT_EQ(harness_.log().Count("[Session] Starting stream"), 1u);
}

TEST_F(ClientAdoptionTest, AStartRequestLeftByThePreviousClientStartsNothing) {
  pb::ControlMessage start;
  start.mutable_start_stream()->set_session_id("old");
  ASSERT_TRUE(first_->Send(start, client::FrameMode::kSealedPrimary));
  first_->Close();
  ASSERT_TRUE(harness_.log().WaitFor("[Session] Promoted/connected next client: 127.0.0.2"));
  // A stream the first client's request started before it left is its own and is
  // stopped by the promotion; the newcomer gets none until it asks.
  ASSERT_TRUE(harness_.Authenticate(*second_));
  pb::ControlMessage ping;
  ping.mutable_ping()->set_send_timestamp_us(1);
  ASSERT_TRUE(second_->Send(ping, client::FrameMode::kSealedPrimary));
  ASSERT_TRUE(second_->ReceiveUntil(pb::ControlMessage::kPong, 5s));
  std::this_thread::sleep_for(200ms);  // several supervisor passes
  const auto lines = harness_.log().Lines();
  const auto promoted = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("Promoted/connected next client") != std::string::npos;
  });
  EXPECT_TRUE(std::none_of(promoted, lines.end(), [](const std::string& line) {
    return line.find("[Session] Starting stream") != std::string::npos;
  }));
}

TEST_F(ClientAdoptionTest, PromotionWhileStreamingIsHandledAsANewConnection) {
  ASSERT_TRUE(harness_.StartStream(*first_));
  PromoteSecond();
  EXPECT_TRUE(
      harness_.log().WaitFor("[Session] Active control client disconnected -- stopping stream"));
  EXPECT_TRUE(harness_.log().WaitFor("[FrameLoop] Stopped after"));
  const auto states = harness_.ClientStates();
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), "connected 127.0.0.2");
  // The newcomer streams once it has proved itself.
  ASSERT_TRUE(harness_.Authenticate(*second_));
  EXPECT_TRUE(harness_.StartStream(*second_));
}

TEST(ClientLifecycleTest, AClientThatDropsWhileStreamingIsFollowedByTheNext) {
  SessionHarness harness;
  auto first = harness.Connect("127.0.0.1");
  ASSERT_TRUE(first && harness.Authenticate(*first) && harness.StartStream(*first));
  first->Close();
  EXPECT_TRUE(
      harness.log().WaitFor("[Session] Active control client disconnected -- stopping stream"));
  EXPECT_TRUE(harness.log().WaitFor("[FrameLoop] Stopped after"));
  EXPECT_TRUE(harness.log().WaitFor("[Session] Waiting for next control client..."));

  auto next = harness.Connect("127.0.0.2");
  ASSERT_TRUE(next);
  EXPECT_TRUE(harness.log().WaitFor("[Session] Promoted/connected next client: 127.0.0.2"));
  ASSERT_TRUE(harness.Authenticate(*next));
  EXPECT_TRUE(harness.StartStream(*next));
  const auto states = harness.ClientStates();
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), "waiting");
  EXPECT_NE(std::find(states.begin(), states.end(), "connected 127.0.0.1"), states.end());
  EXPECT_NE(std::find(states.begin(), states.end(), "disconnected"), states.end());
  EXPECT_EQ(states.back(), "connected 127.0.0.2");
}

TEST(ClientLifecycleTest, ASecondStartRestartsTheStream) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  ASSERT_TRUE(harness.StartStream(*client));
  ASSERT_TRUE(WaitUntil([&] { return harness.encoders().frames.load() > 0; }));
  ASSERT_TRUE(harness.StartStream(*client));
  EXPECT_EQ(harness.log().Count("[FrameLoop] Stopped after"), 1u);
  EXPECT_EQ(harness.encoders().initialized.load(), 2u);
  EXPECT_FALSE(harness.encoders().used_after_shutdown.load());
}

TEST(ClientLifecycleTest, RequestStopWhileStreamingEndsRun) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client) && harness.StartStream(*client));
  harness.Stop();  // returns once Run has returned
  EXPECT_TRUE(harness.log().Contains("[FrameLoop] Stopped after"));
  EXPECT_FALSE(harness.encoders().used_after_shutdown.load());
}

}  // namespace
}  // namespace orvane::testing
