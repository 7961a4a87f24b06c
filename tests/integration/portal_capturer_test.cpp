#include "video/portal_capturer_pipewire.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "integration/fake_portal.h"
#include "integration/pipewire_daemon.h"
#include "integration/produced_picture.h"
#include "support/log_capture.h"
#include "support/pipewire_test_producer.h"
#include "support/temp_folder.h"
#include "video/restore_token_file.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::FakePortal;
using testing::LogCapture;
using testing::PipeWireDaemon;
using testing::PipeWireTestProducer;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

std::vector<uint8_t> Picture(uint8_t seed) {
  return testing::PatternPicture(kWidth, kHeight, seed);
}

// A desktop's screen cast: a private PipeWire with a producer's node, and a ScreenCast
// portal on the same private bus, which this process's session bus becomes.
class PortalCapturerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemon_.started());
    producer_ = std::make_unique<PipeWireTestProducer>(daemon_.Connect(), kWidth, kHeight);
    const std::optional<uint32_t> node = producer_->NodeId();
    ASSERT_TRUE(node.has_value());
    portal_ = std::make_unique<FakePortal>(daemon_.bus_address(), daemon_.socket_path(), *node);
    ASSERT_TRUE(portal_->ready());
    setenv("DBUS_SESSION_BUS_ADDRESS", daemon_.bus_address().c_str(), 1);
  }

  // Starts a capturer and captures until the producer's picture arrives.
  std::vector<uint8_t> CaptureOnePicture(uint8_t seed) {
    PortalCapturer capturer(screen_cast_, cursor_);
    EXPECT_TRUE(capturer.Initialize(0, kWidth, kHeight));
    const std::vector<uint8_t> seen =
        testing::CaptureProducedPicture(capturer, *producer_, Picture(seed), kWidth, kHeight);
    capturer.Release();
    return seen;
  }

  testing::TempFolder folder_{"orvane-portal"};
  PipeWireDaemon daemon_{folder_.path()};
  std::unique_ptr<PipeWireTestProducer> producer_;
  std::unique_ptr<FakePortal> portal_;
  std::filesystem::path token_file_ = folder_ / "screencast_restore_token";
  std::shared_ptr<PortalScreenCast> screen_cast_ = std::make_shared<PortalScreenCast>(token_file_);
  std::shared_ptr<StreamCursorFeed> cursor_ = std::make_shared<StreamCursorFeed>();
};

// The user answers the desktop's dialog once: the first start stores the desktop's token,
// the next hands it back and stores the new one.
TEST_F(PortalCapturerTest, EveryStartHandsBackTheLastTokenAndKeepsTheNewOne) {
  EXPECT_EQ(CaptureOnePicture(1), Picture(1));
  EXPECT_EQ(ReadRestoreToken(token_file_), "restore-1");
  EXPECT_EQ(CaptureOnePicture(2), Picture(2));
  EXPECT_EQ(ReadRestoreToken(token_file_), "restore-2");

  const std::vector<FakePortal::Selection> selections = portal_->Selections();
  ASSERT_EQ(selections.size(), 2u);
  EXPECT_EQ(selections[0].restore_token, "");
  EXPECT_EQ(selections[1].restore_token, "restore-1");
  for (const FakePortal::Selection& selection : selections) {
    EXPECT_EQ(selection.cursor_mode, 4u);   // metadata
    EXPECT_EQ(selection.persist_mode, 2u);  // until revoked
  }
  // Each stream's end closes its portal session.
  EXPECT_EQ(portal_->closed_sessions(), 2);
  EXPECT_TRUE(portal_->ProtocolErrors().empty());
}

// A refusal ends the source for the stream with a line saying what to do, and a notice
// for the client; no second dialog comes up in the same stream.
TEST_F(PortalCapturerTest, ARefusalIsLoggedAndNotAskedAgainInTheSameStream) {
  ASSERT_TRUE(WriteRestoreToken(token_file_, "restore-old"));
  portal_->SetStartResponse(1);
  LogCapture log;
  PortalCapturer capturer(screen_cast_, cursor_);
  ASSERT_TRUE(capturer.Initialize(0, kWidth, kHeight));
  CapturedFrame frame;
  ASSERT_TRUE(testing::WaitUntil([&] {
    frame = capturer.Capture(50);
    return frame.status != CaptureStatus::kNoNewFrame;
  }));
  EXPECT_EQ(frame.status, CaptureStatus::kInvalidated);
  EXPECT_TRUE(log.Contains(
      "[Capture] Screen sharing was declined in the desktop's dialog; no video until the stream "
      "is started again and sharing is allowed"));
  EXPECT_EQ(capturer.TakeClientNotice(),
            "Screen sharing was not allowed on the computer. Start the stream again and allow "
            "sharing in the desktop's dialog.");
  EXPECT_EQ(capturer.TakeClientNotice(), "");
  capturer.Release();
  EXPECT_FALSE(capturer.Initialize(0, kWidth, kHeight));
  EXPECT_EQ(portal_->starts(), 1);
  // The refused start used the old token, which stays for the next try.
  EXPECT_EQ(portal_->Selections().at(0).restore_token, "restore-old");
  EXPECT_EQ(ReadRestoreToken(token_file_), "restore-old");
  EXPECT_TRUE(portal_->ProtocolErrors().empty());
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// The desktop's own controls end the cast (its node goes away): the source stops with a
// line saying what to do, and a notice for the client.
TEST_F(PortalCapturerTest, ACastTheDesktopEndsStopsTheSourceWithANotice) {
  ASSERT_EQ(CaptureOnePicture(3), Picture(3));
  PortalCapturer capturer(screen_cast_, cursor_);
  ASSERT_TRUE(capturer.Initialize(0, kWidth, kHeight));
  ASSERT_TRUE(testing::WaitUntil(
      [&] {
        if (producer_->WaitStreaming(0ms)) {
          return true;
        }
        capturer.Capture(50);
        return false;
      },
      15s));
  LogCapture log;
  producer_.reset();
  CapturedFrame frame;
  ASSERT_TRUE(testing::WaitUntil([&] {
    frame = capturer.Capture(50);
    return frame.status == CaptureStatus::kInvalidated;
  }));
  EXPECT_TRUE(log.Contains(
      "[Capture] The desktop ended screen sharing; no video until the stream is started again"));
  EXPECT_EQ(capturer.TakeClientNotice(),
            "The computer stopped sharing its screen. Start the stream again to share it.");
}

}  // namespace
}  // namespace orvane
