#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "integration/decoded_picture.h"
#include "integration/host_process.h"
#include "integration/paired_host.h"
#include "integration/run_shell.h"
#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/file_contents.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kOrange = 0xFF8000;

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

  // Streams for `seconds` into `video` while the screen keeps changing; `meanwhile` runs
  // on the test thread during the stream. Returns the client's exit status.
  int Stream(
      const std::string& arguments, const fs::path& video,
      const std::function<void()>& meanwhile = [] {}) {
    std::atomic<bool> ticking{true};
    std::thread ticker([&] {
      XvfbPainter painter(xvfb_.display());
      for (uint32_t shade = 0; ticking.load(); shade = (shade + 8) & 0xFF) {
        painter.Recolour(ticker_window_, shade * 0x010101);
        std::this_thread::sleep_for(30ms);
      }
    });
    int status = -1;
    std::thread client([&] {
      status = RunShell(host_.Client("stream " + arguments + " --out '" + video.string() + "'"),
                        temp_ / "stream.log");
    });
    meanwhile();
    client.join();
    ticking = false;
    ticker.join();
    return status;
  }

  // Access units the host reports having sent in its final pipeline line.
  long UnitsSent() const {
    std::smatch sent;
    const std::string output = host_->Output();
    return std::regex_search(output, sent, std::regex(R"(Final pipeline .* access_units=(\d+))"))
               ? std::stol(sent[1])
               : -1;
  }

  // Complete access units the client received and recorded, from its totals line.
  long UnitsReceived() const {
    std::smatch received;
    const std::string log = ReadFile(temp_ / "stream.log");
    return std::regex_search(log, received, std::regex(R"(Media in .* s: (\d+) frames received)"))
               ? std::stol(received[1])
               : -1;
  }

  // Width, height and decoded frame count by ffprobe.
  std::tuple<int, int, long> Probe(const fs::path& video) const {
    int width = 0, height = 0;
    long decoded = 0;
    RunShell(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames,width,height -of csv=p=0 '" +
            video.string() + "'",
        temp_ / "probe.log");
    // The decoder's warnings share the log; the figures are the line that parses.
    std::istringstream lines(ReadFile(temp_ / "probe.log"));
    for (std::string line; std::getline(lines, line);) {
      std::sscanf(line.c_str(), "%d,%d,%ld", &width, &height, &decoded);
    }
    return {width, height, decoded};
  }

  TempFolder temp_{"orvane-stream"};
  XvfbServer xvfb_{"1280x720x24"};
  XvfbPainter painter_{xvfb_.display()};
  uint32_t ticker_window_ = 0;
  PairedHost host_{temp_.path()};
};

// The same stream from each encoder a user may pick.
class EncoderStreamTest : public StreamTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(EncoderStreamTest, StreamsTheDesktopSoThatAnIndependentDecoderSeesIt) {
  ASSERT_TRUE(host_.StartAndPair({"--encoder", GetParam()}));
  const fs::path video = temp_ / "stream.h264";
  ASSERT_EQ(Stream("--video-frames 30 --seconds 120 --width 1280 --height 720", video), 0)
      << ReadFile(temp_ / "stream.log");
  // A new stream's client is sent the whole cursor.
  EXPECT_NE(ReadFile(temp_ / "stream.log").find("CursorUpdate"), std::string::npos);
  ASSERT_TRUE(host_->WaitForOutput("[FrameDiag] Final pipeline"));
  if (GetParam() == "openh264") {
    EXPECT_NE(host_->Output().find("[Encoder] Using openh264 for H264 (asked for)"),
              std::string::npos);
  }
  const long units_sent = UnitsSent();
  const long units_received = UnitsReceived();
  EXPECT_GE(units_sent, units_received) << host_->Output();
  EXPECT_GE(units_received, 30) << ReadFile(temp_ / "stream.log");
  const auto [width, height, decoded] = Probe(video);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 720);
  // Keyframes of the warm-up travel twice and decode twice; what arrived whole must
  // decode (datagrams a starved receiver drops on a loaded machine are not the point).
  EXPECT_GE(decoded * 10, units_received * 9) << decoded << " of " << units_received;

  const DecodedPicture picture(video, 10, 1280, 720, false, temp_.path());
  ASSERT_TRUE(picture.valid()) << picture.error();
  EXPECT_NEAR(picture.At(560, 360, 0), 0xFF, 24);
  EXPECT_NEAR(picture.At(560, 360, 1), 0x80, 24);
  EXPECT_NEAR(picture.At(560, 360, 2), 0x00, 24);
  EXPECT_LE(picture.At(300, 600, 0), 24);  // outside the rectangle the screen stays black
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderStreamTest, ::testing::Values("auto", "openh264"),
                         [](const auto& info) { return info.param; });

TEST_F(StreamTest, HevcStreamGoesOnThroughAScreenResize) {
  ASSERT_TRUE(host_.StartAndPair());
  const fs::path video = temp_ / "stream.hevc";
  // The screen shrinks once frames flow; the client keeps receiving until frames have
  // come through the recreated capture as well.
  const int streamed =
      Stream("--video-frames 40 --seconds 120 --codec hevc --width 1280 --height 720", video, [&] {
        ASSERT_TRUE(host_->WaitForOutput("[FrameDiag] First frame produced", 60s));
        XvfbPainter resizer(xvfb_.display());
        EXPECT_TRUE(resizer.ResizeScreen(1024, 600));
      });
  ASSERT_EQ(streamed, 0) << ReadFile(temp_ / "stream.log");
  ASSERT_TRUE(host_->WaitForOutput("[FrameDiag] Final pipeline"));
  const std::string output = host_->Output();
  EXPECT_NE(output.find("[Capture] X11 MIT-SHM invalidated; releasing and recreating duplication "
                        "object"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("[Capture] X11 MIT-SHM recreated successfully (reinit=1)"),
            std::string::npos);
  const long units_received = UnitsReceived();
  const auto [width, height, decoded] = Probe(video);
  EXPECT_EQ(width, 1280) << ReadFile(temp_ / "probe.log");  // the smaller screen is scaled up
  EXPECT_GE(UnitsSent(), units_received);
  EXPECT_GE(units_received, 40) << ReadFile(temp_ / "stream.log");
  EXPECT_GE(decoded * 10, units_received * 9) << decoded << " of " << units_received;
}

}  // namespace
}  // namespace orvane::testing
