#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "integration/dbus_session.h"
#include "integration/decoded_picture.h"
#include "integration/fake_mutter.h"
#include "integration/paired_host.h"
#include "integration/pipewire_daemon.h"
#include "integration/produced_picture.h"
#include "integration/run_shell.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/pipewire_test_producer.h"
#include "support/temp_folder.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;

// The real host in a GNOME Wayland session: Mutter (a strict fake) casts a PipeWire
// producer's desktop on the session's PipeWire daemon, the reference client streams it
// and touches it, and no X server is there to take input.
class MutterStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemon_.started());
    const std::optional<uint32_t> node = producer_.NodeId();
    ASSERT_TRUE(node.has_value());
    node_ = *node;
  }

  void StartMutter() {
    mutter_ = std::make_unique<FakeMutter>(daemon_.bus_address(), node_, kWidth, kHeight);
    ASSERT_TRUE(mutter_->ready());
  }

  ::testing::AssertionResult StartHost(const std::vector<std::string>& arguments = {}) {
    return host_.StartAndPair(arguments,
                              {{"DBUS_SESSION_BUS_ADDRESS", daemon_.bus_address()},
                               {"WAYLAND_DISPLAY", "wayland-test"},
                               {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"},
                               {"PIPEWIRE_RUNTIME_DIR", daemon_.runtime_folder().string()},
                               {"DISPLAY", ""}});
  }

  // Streams five frames; the middle of the last one, as RGB.
  std::vector<uint8_t> StreamedCentre(const std::string& extra) {
    const fs::path video = temp_ / "stream.h264";
    EXPECT_EQ(RunShell(host_.Client("stream --video-frames 5 --seconds 60 --width 320 "
                                    "--height 240 " +
                                    extra + " --out '" + video.string() + "'"),
                       temp_ / "stream.log"),
              0)
        << ReadFile(temp_ / "stream.log") << host_->Output();
    const DecodedPicture picture(video, 4, kWidth, kHeight, true, temp_.path());
    EXPECT_TRUE(picture.valid()) << picture.error();
    return {picture.At(160, 120, 0), picture.At(160, 120, 1), picture.At(160, 120, 2)};
  }

  // Waits for the session's Stop, which ends the calls of one stream.
  std::vector<std::string> CallsOfTheStream() {
    WaitUntil(
        [&] {
          const std::vector<std::string> calls = mutter_->Calls();
          return !calls.empty() && calls.back() == "Stop";
        },
        10s);
    return mutter_->Calls();
  }

  TempFolder temp_{"orvane-mutter-stream"};
  PipeWireDaemon daemon_{temp_ / "pipewire"};
  PipeWireTestProducer producer_{daemon_.Connect(), kWidth, kHeight};
  uint32_t node_ = 0;
  std::unique_ptr<FakeMutter> mutter_;
  // The desktop sends its picture once the host's stream is linked, then stands still.
  StillDesktop desktop_{producer_, OrangeBlockPicture(kWidth, kHeight), kWidth, kHeight, 1};
  PairedHost host_{temp_.path()};
};

void ExpectOrange(const std::vector<uint8_t>& rgb) {
  ASSERT_EQ(rgb.size(), 3u);
  EXPECT_NEAR(rgb[0], 0xFF, 24);
  EXPECT_NEAR(rgb[1], 0x80, 24);
  EXPECT_NEAR(rgb[2], 0x00, 24);
}

TEST_F(MutterStreamTest, GnomeStreamsThroughMutterAndTakesTheClientsTouchAndKeys) {
  StartMutter();
  ASSERT_TRUE(StartHost());
  EXPECT_TRUE(host_->WaitForOutput(
      "[Capture] Linux capture: mutter (Wayland session (WAYLAND_DISPLAY=wayland-test), GNOME "
      "with Mutter's remote desktop on the bus)"));
  if (host_->Output().find("Native multi-touch injection initialized") != std::string::npos) {
    GTEST_SKIP() << "uinput is open to the host: its touches go to the kernel";
  }
  ExpectOrange(StreamedCentre("--touch 0.25,0.75 --keys 0x41"));
  EXPECT_TRUE(host_->WaitForOutput("[Capture] Active backend=mutter"));
  // 0.25 and 0.75 of the 320x240 stream.
  EXPECT_EQ(
      CallsOfTheStream(),
      SessionCalls({"RemoteDesktop.CreateSession", "ScreenCast.CreateSession",
                    "RecordMonitor connector=DP-1 cursor-mode=2", "Start"},
                   {"NotifyTouchDown slot=0 x=79 y=179", "NotifyTouchMotion slot=0 x=79 y=179",
                    "NotifyTouchUp slot=0", "NotifyKeyboardKeysym keysym=0x61 down",
                    "NotifyKeyboardKeysym keysym=0x61 up", "Stop"}));
  EXPECT_TRUE(mutter_->ProtocolErrors().empty()) << mutter_->ProtocolErrors().front();
}

TEST_F(MutterStreamTest, ExtendOnGnomeStreamsAVirtualMonitor) {
  StartMutter();
  ASSERT_TRUE(StartHost({"--capture-backend", "mutter", "--extend", "320x240"}));
  EXPECT_TRUE(host_->WaitForOutput(
      "[Main] --extend 320x240: the desktop adds a virtual monitor while a stream runs"));
  ExpectOrange(StreamedCentre(""));
  EXPECT_EQ(CallsOfTheStream(),
            SessionCalls({"RemoteDesktop.CreateSession", "ScreenCast.CreateSession",
                          "RecordVirtual cursor-mode=2", "Start"},
                         {"Stop"}));
  EXPECT_TRUE(mutter_->ProtocolErrors().empty());
}

// On GNOME the tray's "Extend the desktop" decides whether the next stream casts Mutter's
// virtual monitor or the chosen one.
TEST_F(MutterStreamTest, TheTrayTakesGnomesVirtualMonitorAwayAndBackForTheNextStream) {
  StartMutter();
  FakeDesktop desktop(daemon_.bus_address(), true, true);
  ASSERT_TRUE(desktop.ready());
  ASSERT_TRUE(StartHost({"--extend", "320x240"}));
  ASSERT_TRUE(WaitUntil([&] { return !desktop.RegisteredItems().empty(); }, 10s));
  BusClient bus(daemon_.bus_address());
  const auto sessions_ready = [&] {
    const std::string output = host_->Output();
    long ready = 0;
    for (size_t at = output.find("[Main] Ready."); at != std::string::npos;
         at = output.find("[Main] Ready.", at + 1)) {
      ++ready;
    }
    return ready;
  };
  // The click ends the host's session, which starts again to take the next stream.
  const auto click_extend = [&] {
    const long before = sessions_ready();
    GVariant* reply =
        bus.Call(desktop.RegisteredItems().at(0), "/MenuBar", "com.canonical.dbusmenu", "Event",
                 g_variant_new("(isvu)", 1100, "clicked", g_variant_new_int32(0), 0u));
    if (reply == nullptr) {
      return false;
    }
    g_variant_unref(reply);
    return WaitUntil([&] { return sessions_ready() > before; }, 15s);
  };
  // Whether a stream is still being wound up when the click comes decides the rest of the
  // text ("Reconnecting stream." or nothing more).
  const auto notified = [&](const std::string& start) {
    return WaitUntil([&] {
      const auto notices = desktop.Notifications();
      return std::any_of(notices.begin(), notices.end(),
                         [&](const auto& notice) { return notice.body.rfind(start, 0) == 0; });
    });
  };
  // What the `count`th stream recorded.
  const auto recording_of_stream = [&](long count) {
    RunShell(host_.Client("stream --seconds 1"), temp_ / "stream.log");
    std::vector<std::string> calls;
    if (!WaitUntil(
            [&] {
              calls = mutter_->Calls();
              return std::count(calls.begin(), calls.end(), "Stop") == count;
            },
            10s)) {
      ADD_FAILURE() << ReadFile(temp_ / "stream.log") << host_->Output();
    }
    const auto recorded = std::find_if(calls.rbegin(), calls.rend(), [](const std::string& call) {
      return call.rfind("Record", 0) == 0;
    });
    return recorded == calls.rend() ? std::string() : *recorded;
  };

  EXPECT_EQ(recording_of_stream(1), "RecordVirtual cursor-mode=2");
  ASSERT_TRUE(click_extend());
  EXPECT_TRUE(notified("Extended display removed."));
  EXPECT_EQ(recording_of_stream(2), "RecordMonitor connector=DP-1 cursor-mode=2");
  ASSERT_TRUE(click_extend());
  EXPECT_TRUE(notified("Desktop extended"));
  EXPECT_EQ(recording_of_stream(3), "RecordVirtual cursor-mode=2");
  EXPECT_TRUE(mutter_->ProtocolErrors().empty());
}

// A refusal is told to the app; the next stream's auto choice is the portal.
TEST_F(MutterStreamTest, AMutterRefusalIsToldToTheAppAndTheNextStreamTakesThePortal) {
  StartMutter();
  mutter_->RefuseRecording();
  ASSERT_TRUE(StartHost());
  RunShell(host_.Client("stream --seconds 3"), temp_ / "stream.log");
  const std::string stream = ReadFile(temp_ / "stream.log");
  EXPECT_NE(stream.find("description=\"The computer's GNOME desktop did not share its screen. "
                        "Start the stream again, or choose the ScreenCast portal as the capture "
                        "source on the computer.\" fatal=no"),
            std::string::npos)
      << stream;
  EXPECT_TRUE(
      host_->WaitForOutput("Unknown monitor. Mutter's remote desktop must run in a GNOME "
                           "Wayland session of this user; choose --capture-backend "
                           "portal to share through the desktop's dialog instead"));
  RunShell(host_.Client("stream --seconds 1"), temp_ / "stream2.log");
  EXPECT_TRUE(host_->WaitForOutput(
      "[Capture] Linux capture: portal (Wayland session (WAYLAND_DISPLAY=wayland-test), GNOME "
      "whose Mutter refused the last session)"))
      << host_->Output();
}

// Without Mutter on the bus, GNOME's auto choice is the ScreenCast portal.
TEST_F(MutterStreamTest, GnomeWithoutMutterOnTheBusFallsBackToThePortal) {
  ASSERT_TRUE(StartHost());
  EXPECT_TRUE(host_->WaitForOutput(
      "[Capture] Linux capture: portal (Wayland session (WAYLAND_DISPLAY=wayland-test), GNOME "
      "without Mutter's remote desktop on the bus)"));
}

}  // namespace
}  // namespace orvane::testing
