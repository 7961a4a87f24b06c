// The Windows build under wine, on a private Xvfb with a known picture: its capture and
// cursor paths against the display, and the Windows host driven by the Linux reference
// client over loopback. Needs scripts/build.sh windows and the wine prefix scripts/test.sh
// prepares; skips when either is missing.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include "integration/host_process.h"
#include "integration/run_shell.h"
#include "integration/wine_prefix.h"
#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/file_contents.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WineHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing =
        WhatWineHostLacks(kWindowsBuild / "tests" / "orvane_video_tests.exe");
    if (!missing.empty()) {
      GTEST_SKIP() << missing;
    }
    ASSERT_TRUE(xvfb_.started());
    ASSERT_TRUE(painter_.connected());
    painter_.Fill(0, 0, 1280, 720, 0x000000);
    painter_.Fill(400, 240, 320, 240, 0xFF8000);
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    UseWinePrefix();
    RemoveWineHostState();
  }

  void TearDown() override { RemoveWineHostState(); }

  std::string Client(const std::string& arguments) const {
    return std::string(ORVANE_CLIENT_BINARY) + " " + arguments + " --port " +
           std::to_string(port_) + " --identity '" + (temp_ / "identity.json").string() + "'";
  }

  XvfbServer xvfb_{"1280x720x24"};
  XvfbPainter painter_{xvfb_.display()};
  TempFolder temp_;
  uint16_t port_ = FreeTcpPort();
};

TEST_F(WineHostTest, CaptureAndCursorPathsRunAgainstTheDisplay) {
  // The centre of the orange rectangle.
  const std::string command = "ORVANE_TEST_SCREEN_PIXEL=560,360,FF8000 timeout 300 wine '" +
                              (kWindowsBuild / "tests" / "orvane_video_tests.exe").string() +
                              "' --gtest_filter='WineDisplayTest.*'";
  const int status = RunShell(command, temp_ / "wine_tests.log");
  const std::string log = ReadFile(temp_ / "wine_tests.log");
  EXPECT_EQ(status, 0) << log;
  for (const char* test :
       {"ScreenCopyReadsThePaintedColour",
        "SelectionFallsBackToTheScreenCopyWhereNothingElseStarts",
        "MonitorsAreFoundByTheirEnumerationIndex", "CursorImageComesThroughAsBgra"}) {
    EXPECT_NE(log.find(std::string("[       OK ] WineDisplayTest.") + test), std::string::npos)
        << test << "\n"
        << log;
  }
  EXPECT_EQ(log.find("SKIPPED"), std::string::npos) << log;
}

// Hello without a session key (Wine's CNG cannot derive one), pairing, capabilities and
// StartStream; then the stream either runs or, where Wine has no encoder, stops cleanly.
TEST_F(WineHostTest, WindowsHostServesTheReferenceClient) {
  HostProcess host(
      "wine",
      {WindowsHostBinary().string(), "--control-port", std::to_string(port_), "--media-port",
       std::to_string(FreeUdpPort()), "--input-port", std::to_string(FreeUdpPort())},
      temp_.path());
  ASSERT_TRUE(host.WaitForOutput("[Main] Ready. Waiting for mobile client...", 60s))
      << host.Output();
  // Local discovery ends in its request line, or in a failure and the manual-address
  // notice where the system has no DNS-SD registration (Wine's dnsapi has none).
  const std::string start = host.Output();
  if (start.find("[INFO ] [mDNS] Registration requested: ") == std::string::npos) {
    EXPECT_NE(start.find("[ERROR] [mDNS] "), std::string::npos) << start;
    EXPECT_NE(start.find("[Main] mDNS registration failed -- manual IP entry required on mobile"),
              std::string::npos)
        << start;
  }

  ASSERT_NE(RunShell(Client("pair"), temp_ / "pair1.log"), -1);
  ASSERT_TRUE(host.WaitForOutput("[Protocol] Sent HelloAck (PAIRING_REQUIRED, code=", 20s))
      << host.Output();
  std::smatch code;
  const std::string output = host.Output();
  ASSERT_TRUE(std::regex_search(output, code, std::regex("PAIRING_REQUIRED, code=([0-9]{6})")));
  ASSERT_EQ(RunShell(Client("pair --code " + code[1].str()), temp_ / "pair2.log"), 0)
      << ReadFile(temp_ / "pair2.log") << host.Output();
  EXPECT_TRUE(host.WaitForOutput("[Protocol] Pairing successful -- device trusted"));

  const int stream_status =
      RunShell(Client("stream --video-frames 3 --seconds 20"), temp_ / "stream.log");
  const std::string stream = ReadFile(temp_ / "stream.log");
  ASSERT_NE(stream.find("<- CapabilityAccept"), std::string::npos) << stream;
  EXPECT_TRUE(host.WaitForOutput("[Protocol] StartStream: sessionId="));
  if (host.Output().find("[Encoder] Initialized:") != std::string::npos) {
    EXPECT_EQ(stream_status, 0) << stream << host.Output();
    EXPECT_TRUE(host.WaitForOutput("[FrameLoop] Started (MMCSS="));
    EXPECT_TRUE(host.WaitForOutput("[Capture] Active backend=gdi fallback (")) << host.Output();
    return;
  }
  // No encoder under this Wine: the stream start fails with the encoder's reasons.
  EXPECT_NE(stream_status, 0);
  EXPECT_NE(stream.find("<- ErrorMessage seq="), std::string::npos) << stream;
  EXPECT_NE(stream.find("description=\"Video encoder init failed\" fatal=yes"), std::string::npos)
      << stream;
  EXPECT_NE(stream.find("<- StreamStopped"), std::string::npos) << stream;
  const std::string host_log = host.Output();
  for (const char* line :
       {"[ERROR] [Encoder] No hardware encoder found for H264",
        "[WARN ] [Encoder] No hardware encoder available; using the software encoder",
        "[ERROR] [Encoder] No software encoder found for H264",
        "[WARN ] [Session] Encoder failure details monitor=0 code=6 msg=Failed to configure "
        "software encoder hr=0x80004005"}) {
    EXPECT_NE(host_log.find(line), std::string::npos) << line << "\n" << host_log;
  }
  // Still serving: a second stream start is answered the same way, not by a crash.
  ASSERT_NE(RunShell(Client("stream --video-frames 1 --seconds 5"), temp_ / "stream2.log"), -1);
  EXPECT_NE(ReadFile(temp_ / "stream2.log").find("<- StreamStopped"), std::string::npos)
      << ReadFile(temp_ / "stream2.log") << host.Output();
}

}  // namespace
}  // namespace orvane::testing
