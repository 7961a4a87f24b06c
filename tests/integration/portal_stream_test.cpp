#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "integration/decoded_picture.h"
#include "integration/fake_portal.h"
#include "integration/paired_host.h"
#include "integration/pipewire_daemon.h"
#include "integration/produced_picture.h"
#include "integration/run_shell.h"
#include "support/file_contents.h"
#include "support/pipewire_test_producer.h"
#include "support/temp_folder.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;

// The real host on a Wayland session: its capture goes through a ScreenCast portal (a
// strict fake) to a PipeWire daemon where a producer shares a desktop, and the reference
// client streams it.
class PortalStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemon_.started());
    const std::optional<uint32_t> node = producer_.NodeId();
    ASSERT_TRUE(node.has_value());
    portal_ = std::make_unique<FakePortal>(daemon_.bus_address(), daemon_.socket_path(), *node);
    ASSERT_TRUE(portal_->ready());
  }

  ::testing::AssertionResult StartHost() {
    return host_.StartAndPair({}, {{"DBUS_SESSION_BUS_ADDRESS", daemon_.bus_address()},
                                   {"WAYLAND_DISPLAY", "wayland-test"},
                                   {"DISPLAY", ""}});
  }

  TempFolder temp_{"orvane-portal-stream"};
  PipeWireDaemon daemon_{temp_ / "pipewire"};
  PipeWireTestProducer producer_{daemon_.Connect(), kWidth, kHeight};
  std::unique_ptr<FakePortal> portal_;
  // A desktop sends a picture only when something changed: this one sends it once the
  // host's stream is linked, once more three seconds later, and otherwise stands still.
  StillDesktop desktop_{producer_, OrangeBlockPicture(kWidth, kHeight), kWidth, kHeight, 2};
  PairedHost host_{temp_.path()};
};

// The picture the desktop sent keeps being encoded while it stands still, so the app
// receives more frames of it than the desktop sent.
TEST_F(PortalStreamTest, AWaylandSessionStreamsTheSharedScreenAlsoWhileItStandsStill) {
  ASSERT_TRUE(StartHost());
  EXPECT_TRUE(host_->WaitForOutput(
      "[Capture] Linux capture: portal (Wayland session (WAYLAND_DISPLAY=wayland-test))"));
  const fs::path video = temp_ / "stream.h264";
  ASSERT_EQ(RunShell(host_.Client("stream --video-frames 5 --seconds 60 --width 320 "
                                  "--height 240 --out '" +
                                  video.string() + "'"),
                     temp_ / "stream.log"),
            0)
      << ReadFile(temp_ / "stream.log") << host_->Output();
  EXPECT_TRUE(host_->WaitForOutput("[Capture] Active backend=portal"));
  EXPECT_TRUE(portal_->ProtocolErrors().empty());

  // The stream has the size the host negotiates; the picture is scaled to it.
  const DecodedPicture picture(video, 4, kWidth, kHeight, true, temp_.path());
  ASSERT_TRUE(picture.valid()) << picture.error();
  EXPECT_NEAR(picture.At(160, 120, 0), 0xFF, 24);
  EXPECT_NEAR(picture.At(160, 120, 1), 0x80, 24);
  EXPECT_NEAR(picture.At(160, 120, 2), 0x00, 24);
  EXPECT_LE(picture.At(20, 20, 0), 24);
  EXPECT_LE(picture.At(300, 220, 1), 24);
}

// Declining the desktop's dialog leaves the session without video but serving: the app
// is told why, and the control channel still answers.
TEST_F(PortalStreamTest, ARefusalIsToldToTheAppAndTheSessionRunsOn) {
  portal_->SetStartResponse(1);
  ASSERT_TRUE(StartHost());
  RunShell(host_.Client("stream --seconds 4"), temp_ / "stream.log");
  const std::string stream = ReadFile(temp_ / "stream.log");
  EXPECT_NE(stream.find("<- ErrorMessage"), std::string::npos) << stream;
  EXPECT_NE(stream.find("description=\"Screen sharing was not allowed on the computer. Start the "
                        "stream again and allow sharing in the desktop's dialog.\" fatal=no"),
            std::string::npos)
      << stream;
  EXPECT_TRUE(host_->WaitForOutput(
      "[Capture] Screen sharing was declined in the desktop's dialog; no video until the "
      "stream is started again and sharing is allowed"));
  EXPECT_EQ(portal_->starts(), 1);
  EXPECT_EQ(RunShell(host_.Client("ping"), temp_ / "ping.log"), 0) << ReadFile(temp_ / "ping.log");
}

}  // namespace
}  // namespace orvane::testing
