#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "integration/host_process.h"
#include "integration/paired_host.h"
#include "integration/recording_window.h"
#include "integration/run_shell.h"
#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint16_t kWidth = 1280;
constexpr uint16_t kHeight = 720;
// Where (0.25, 0.75) lands on the 1280x720 screen.
constexpr int16_t kTouchX = 319;
constexpr int16_t kTouchY = 539;

// The real host on a virtual display, driven by the reference client's input command.
class InputInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.started());
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    window_ = std::make_unique<RecordingWindow>(xvfb_.display(), kWidth, kHeight);
    ASSERT_TRUE(host_.StartAndPair());
  }

  // Runs `input` with `arguments`; its exit status.
  int Input(const std::string& arguments) {
    return RunShell(
        host_.Client("input --input-port " + std::to_string(host_.input_port()) + " " + arguments),
        temp_ / "input.log");
  }

  TempFolder temp_{"orvane-input"};
  XvfbServer xvfb_{std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24"};
  std::unique_ptr<RecordingWindow> window_;
  PairedHost host_{temp_.path()};
};

const char kGestures[] = "--touch 0.25,0.75 --type 'aB!;' --keys 0x25,0x0D";

TEST_F(InputInjectionTest, TheClientsTouchAndKeysDriveTheDisplay) {
  if (host_->Output().find("Native multi-touch injection initialized") != std::string::npos) {
    GTEST_SKIP() << "uinput is open to the host: its touches go to the kernel, which a "
                    "virtual display does not read";
  }

  // Neither a client that never said Hello nor datagrams from another address may act.
  // They reach the host before the gestures below, on the same port and thread, so any
  // of them that acted would show up ahead of those.
  ASSERT_EQ(Input(std::string("--no-hello ") + kGestures), 0) << ReadFile(temp_ / "input.log");
  ASSERT_EQ(Input(std::string("--input-from 127.0.0.2 ") + kGestures), 0)
      << ReadFile(temp_ / "input.log");
  window_->Drain();
  EXPECT_TRUE(window_->buttons().empty());
  EXPECT_TRUE(window_->keysyms_pressed().empty());
  EXPECT_NE(window_->Pointer(), std::make_pair(kTouchX, kTouchY));

  ASSERT_EQ(Input(kGestures), 0) << ReadFile(temp_ / "input.log");
  const std::vector<uint32_t> typed = {XK_a, XK_B, XK_exclam, XK_semicolon, XK_Left, XK_Return};
  ASSERT_TRUE(WaitUntil(
      [&] {
        window_->Drain();
        return window_->buttons().size() >= 2 && window_->keysyms_pressed().size() >= typed.size();
      },
      10s))
      << host_->Output();
  EXPECT_EQ(window_->buttons(), (std::vector<int>{1, -1}));
  EXPECT_EQ(window_->keysyms_pressed(), typed);
  EXPECT_EQ(window_->Pointer(), std::make_pair(kTouchX, kTouchY));
  EXPECT_NE(host_->Output().find("[UDPRecv] Dropped input datagram from 127.0.0.1"),
            std::string::npos);
}

// Every control connection here comes from the loopback network, as one over adb reverse
// does: the first address that punches joins the client, for media and input, until the
// next connection.
TEST_F(InputInjectionTest, TheUsbRouteTakesTheFirstPunchingAddressOfEachConnection) {
  ASSERT_EQ(Input("--input-from 127.0.0.2 --punch --also-from 127.0.0.3 --keys 0x41"), 0)
      << ReadFile(temp_ / "input.log");
  ASSERT_EQ(Input("--input-from 127.0.0.3 --punch --keys 0x42"), 0)
      << ReadFile(temp_ / "input.log");
  // The second connection's key comes after every datagram of the first on the host's
  // one input thread.
  ASSERT_TRUE(WaitUntil(
      [&] {
        window_->Drain();
        return window_->keysyms_pressed().size() >= 2;
      },
      10s))
      << host_->Output();
  EXPECT_EQ(window_->keysyms_pressed(), (std::vector<uint32_t>{XK_a, XK_b}));
  const std::string output = host_->Output();
  EXPECT_NE(output.find("[Session] Media UDP remote endpoint updated via punch: 127.0.0.2:"),
            std::string::npos);
  EXPECT_NE(output.find("[UDPRecv] Dropped input datagram from 127.0.0.3"), std::string::npos);
  EXPECT_NE(output.find("[Session] Media UDP remote endpoint updated via punch: 127.0.0.3:"),
            std::string::npos);
}

// The display split into two monitors side by side: a tap lands on the one streamed.
class TwoMonitorInputTest : public InputInjectionTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.started());
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    monitors_ = std::make_unique<XvfbPainter>(xvfb_.display());
    ASSERT_TRUE(monitors_->SplitIntoTwoMonitors(kWidth / 2));
    window_ = std::make_unique<RecordingWindow>(xvfb_.display(), kWidth, kHeight);
    ASSERT_TRUE(host_.StartAndPair({"--capture-output", "2"}));
  }

  std::unique_ptr<XvfbPainter> monitors_;  // the monitors last as long as it
};

TEST_F(TwoMonitorInputTest, ATapOnTheSecondMonitorsStreamLandsOnTheSecondMonitor) {
  if (host_->Output().find("Native multi-touch injection initialized") != std::string::npos) {
    GTEST_SKIP() << "uinput is open to the host: its touches go to the kernel, which a "
                    "virtual display does not read";
  }
  ASSERT_EQ(Input("--touch 0.25,0.75"), 0) << ReadFile(temp_ / "input.log");
  ASSERT_TRUE(WaitUntil(
      [&] {
        window_->Drain();
        return window_->buttons().size() >= 2;
      },
      10s))
      << host_->Output();
  // The second monitor spans x 640..1279 of the 1280x720 screen.
  constexpr int16_t kSecondMonitorX = kWidth / 2 + (kWidth / 2 - 1) / 4;
  EXPECT_EQ(window_->Pointer(), std::make_pair(kSecondMonitorX, kTouchY))
      << window_->Pointer().first << "," << window_->Pointer().second;
}

TEST_F(InputInjectionTest, TouchFollowsTheScreenThroughAResize) {
  ASSERT_EQ(Input("--touch 0.5,0.5"), 0) << ReadFile(temp_ / "input.log");
  ASSERT_TRUE(WaitUntil(
      [&] { return window_->Pointer() == std::make_pair<int16_t, int16_t>(639, 359); }, 10s));
  XvfbPainter resizer(xvfb_.display());
  ASSERT_TRUE(resizer.ResizeScreen(1024, 600));
  ASSERT_EQ(Input("--touch 0.25,0.75"), 0) << ReadFile(temp_ / "input.log");
  EXPECT_TRUE(WaitUntil(
      [&] { return window_->Pointer() == std::make_pair<int16_t, int16_t>(255, 449); }, 10s))
      << window_->Pointer().first << "," << window_->Pointer().second;
}

}  // namespace
}  // namespace orvane::testing
