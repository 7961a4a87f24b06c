#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "integration/host_process.h"
#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kOrange = 0xFF8000;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a command through the shell; returns its exit status and leaves its output in `log`.
int RunShell(const std::string& command, const fs::path& log) {
  const int status = std::system((command + " > '" + log.string() + "' 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The real host streaming a virtual display to the reference client, checked by an
// independent decoder (ffprobe / ffmpeg).
class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.started());
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    ASSERT_TRUE(painter_.connected());
    painter_.Fill(0, 0, 1280, 720, 0x000000);
    painter_.Fill(400, 240, 320, 240, kOrange);
    // Something must change on screen, or the host has no new frames to send.
    ticker_window_ = painter_.Fill(0, 0, 64, 64, 0x202020);
  }

  std::string Client(const std::string& arguments) const {
    return std::string(ORVANE_CLIENT_BINARY) + " " + arguments + " --port " +
           std::to_string(port_) + " --identity '" + (temp_ / "identity.json").string() + "'";
  }

  void Pair() {
    ASSERT_NE(RunShell(Client("pair"), temp_ / "pair1.log"), -1);
    const std::string code =
        ReadFile(temp_ / "config" / "OrvaneDisplay" / "active_pairing_code.txt").substr(0, 6);
    std::this_thread::sleep_for(2100ms);  // proofs are checked at most once per 2 s
    ASSERT_EQ(RunShell(Client("pair --code " + code), temp_ / "pair2.log"), 0)
        << ReadFile(temp_ / "pair2.log");
  }

  TempFolder temp_{"orvane-stream"};
  XvfbServer xvfb_{"1280x720x24"};
  XvfbPainter painter_{xvfb_.display()};
  uint32_t ticker_window_ = 0;
  uint16_t port_ = FreeTcpPort();
};

TEST_F(StreamTest, StreamsTheDesktopSoThatAnIndependentDecoderSeesIt) {
  HostProcess host({"--control-port", std::to_string(port_), "--media-port",
                    std::to_string(FreeUdpPort()), "--input-port", std::to_string(FreeUdpPort())},
                   temp_.path());
  ASSERT_TRUE(host.WaitForOutput("[Main] Ready. Waiting for mobile client..."));
  Pair();

  std::atomic<bool> ticking{true};
  std::thread ticker([&] {
    XvfbPainter painter(xvfb_.display());
    for (uint32_t shade = 0; ticking.load(); shade = (shade + 8) & 0xFF) {
      painter.Recolour(ticker_window_, shade * 0x010101);
      std::this_thread::sleep_for(30ms);
    }
  });
  const fs::path video = temp_ / "stream.h264";
  const int streamed = RunShell(
      Client("stream --seconds 4 --width 1280 --height 720 --out '" + video.string() + "'"),
      temp_ / "stream.log");
  ticking = false;
  ticker.join();
  ASSERT_EQ(streamed, 0) << ReadFile(temp_ / "stream.log");
  // A new stream's client is sent the whole cursor.
  EXPECT_NE(ReadFile(temp_ / "stream.log").find("CursorUpdate"), std::string::npos);
  ASSERT_TRUE(host.WaitForOutput("[FrameDiag] Final pipeline"));

  std::smatch sent;
  const std::string host_output = host.Output();
  ASSERT_TRUE(
      std::regex_search(host_output, sent, std::regex(R"(Final pipeline .* access_units=(\d+))")));
  const long units_sent = std::stol(sent[1]);
  EXPECT_GT(units_sent, 20) << host_output;

  ASSERT_EQ(RunShell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                     "stream=nb_read_frames,width,height -of csv=p=0 '" +
                         video.string() + "'",
                     temp_ / "probe.log"),
            0)
      << ReadFile(temp_ / "probe.log") << ReadFile(temp_ / "stream.log");
  int width = 0, height = 0;
  long decoded = 0;
  ASSERT_EQ(
      std::sscanf(ReadFile(temp_ / "probe.log").c_str(), "%d,%d,%ld", &width, &height, &decoded), 3)
      << ReadFile(temp_ / "probe.log") << ReadFile(temp_ / "stream.log");
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 720);
  // Keyframes of the warm-up travel twice and decode twice; every unit sent must decode.
  EXPECT_GE(decoded * 10, units_sent * 9) << decoded << " of " << units_sent;

  const fs::path frame = temp_ / "frame.rgb";
  ASSERT_EQ(RunShell("ffmpeg -v error -i '" + video.string() +
                         "' -vf 'select=eq(n\\,10)' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" +
                         frame.string() + "'",
                     temp_ / "ffmpeg.log"),
            0)
      << ReadFile(temp_ / "ffmpeg.log");
  const std::string pixels = ReadFile(frame);
  ASSERT_EQ(pixels.size(), 1280u * 720u * 3u);
  const auto at = [&](int x, int y, int channel) {
    return static_cast<uint8_t>(pixels[(static_cast<size_t>(y) * 1280 + x) * 3 + channel]);
  };
  EXPECT_NEAR(at(560, 360, 0), 0xFF, 24);
  EXPECT_NEAR(at(560, 360, 1), 0x80, 24);
  EXPECT_NEAR(at(560, 360, 2), 0x00, 24);
  EXPECT_LE(at(300, 600, 0), 24);  // outside the rectangle the screen stays black
}

}  // namespace
}  // namespace orvane::testing
