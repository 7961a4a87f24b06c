#include <gtest/gtest.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/log_capture.h"
#include "video/capture_backend.h"
#include "video/encoder_input.h"
#include "video/image_capturer_x11.h"
#include "video/shm_capturer_x11.h"

namespace orvane {
namespace {

using testing::LogCapture;
using testing::XvfbPainter;
using testing::XvfbServer;

constexpr uint32_t kOrange = 0xFF8000;
constexpr uint32_t kBlue = 0x2040C0;

uint32_t PixelAt(const CapturedFrame& frame, uint32_t x, uint32_t y) {
  const uint8_t* pixel = frame.data + size_t{y} * frame.row_pitch + size_t{x} * 4;
  return uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
}

class X11CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.started()) << "Xvfb did not start";
    ASSERT_TRUE(painter_.connected());
  }

  std::shared_ptr<X11DisplaySource> Displays() const { return displays_; }

  XvfbServer xvfb_{"1280x720x24"};
  XvfbPainter painter_{xvfb_.display()};
  std::shared_ptr<X11DisplaySource> displays_ = std::make_shared<X11DisplaySource>(xvfb_.display());
};

TEST_F(X11CaptureTest, ShmCapturerSeesDrawingAndReportsAnIdleScreenAsNoNewFrame) {
  const xcb_window_t window = painter_.Fill(100, 120, 200, 150, kOrange);
  X11ShmCapturer capturer(Displays());
  ASSERT_TRUE(capturer.Initialize(0, 1280, 720));

  CapturedFrame frame = capturer.Capture(100);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  ASSERT_EQ(frame.width, 1280u);
  ASSERT_EQ(frame.height, 720u);
  ASSERT_TRUE(FrameFitsMemory(frame));
  EXPECT_EQ(PixelAt(frame, 150, 200), kOrange);
  EXPECT_EQ(PixelAt(frame, 100, 120), kOrange);
  EXPECT_EQ(PixelAt(frame, 299, 269), kOrange);
  EXPECT_EQ(PixelAt(frame, 99, 120), 0u);
  EXPECT_EQ(PixelAt(frame, 300, 269), 0u);
  EXPECT_EQ(PixelAt(frame, 10, 10), 0u);

  EXPECT_EQ(capturer.Capture(50).status, CaptureStatus::kNoNewFrame);
  EXPECT_EQ(capturer.Capture(0).status, CaptureStatus::kNoNewFrame);

  painter_.Recolour(window, kBlue);
  frame = capturer.Capture(1000);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(PixelAt(frame, 150, 200), kBlue);
  EXPECT_EQ(capturer.Capture(50).status, CaptureStatus::kNoNewFrame);
}

// Small changes are copied and converted rectangle by rectangle into the kept image: each
// frame must still equal a whole copy of the screen, and its NV12 picture the conversion
// of that whole frame.
TEST_F(X11CaptureTest, ShmCapturerUpdatesOnlyDamagedRectanglesYetDeliversWholeFrames) {
  X11ShmCapturer capturer(Displays());
  ASSERT_TRUE(capturer.Initialize(0, 1280, 720));
  ASSERT_EQ(capturer.Capture(100).status, CaptureStatus::kFrameReady);
  struct Step {
    int16_t x, y;
    uint16_t width, height;
  };
  // One pixel, odd rectangles at odd places and at the edges, one covering the screen.
  const Step steps[] = {{641, 359, 1, 1}, {1, 3, 37, 21},    {1279, 719, 1, 1}, {1201, 655, 79, 65},
                        {500, 0, 301, 1}, {0, 0, 1280, 720}, {33, 77, 5, 400}};
  uint32_t colour = 0x102030;
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(step.x) + "," + std::to_string(step.y) + " " +
                 std::to_string(step.width) + "x" + std::to_string(step.height));
    colour = colour * 2654435761u + 0x9E3779B9u;
    painter_.Fill(step.x, step.y, step.width, step.height, colour & 0xFFFFFF);
    const CapturedFrame frame = capturer.Capture(1000);
    ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
    ASSERT_NE(frame.nv12, nullptr);
    const std::vector<uint8_t> image(frame.data, frame.data + frame.data_size);

    X11ShmCapturer whole(Displays());
    ASSERT_TRUE(whole.Initialize(0, 1280, 720));
    const CapturedFrame reference = whole.Capture(100);
    ASSERT_EQ(reference.status, CaptureStatus::kFrameReady);
    EXPECT_TRUE(image ==
                std::vector<uint8_t>(reference.data, reference.data + reference.data_size));

    std::vector<uint8_t> nv12;
    CpuNv12(frame.data, frame.row_pitch, frame.width, frame.height, nv12);
    EXPECT_TRUE(nv12 == std::vector<uint8_t>(frame.nv12, frame.nv12 + nv12.size()));
  }
}

TEST_F(X11CaptureTest, ShmCapturerFallsBackToTheFirstMonitorForAnUnknownIndex) {
  LogCapture log;
  painter_.Fill(0, 0, 16, 16, kOrange);
  X11ShmCapturer capturer(Displays());
  ASSERT_TRUE(capturer.Initialize(4, 1280, 720));
  EXPECT_TRUE(log.Contains("[Capture] Output index 4 unavailable, falling back to output 0"));
  const CapturedFrame frame = capturer.Capture(100);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(PixelAt(frame, 5, 5), kOrange);
}

TEST_F(X11CaptureTest, ScreenResizeInvalidatesShmCaptureAndResizesTheScreenCopy) {
  X11ShmCapturer capturer(Displays());
  X11ImageCapturer image(Displays());
  ASSERT_TRUE(capturer.Initialize(0, 1280, 720));
  ASSERT_TRUE(image.Initialize(0, 1280, 720));
  ASSERT_EQ(capturer.Capture(100).status, CaptureStatus::kFrameReady);
  if (!painter_.ResizeScreen(1024, 600)) {
    GTEST_SKIP() << "this Xvfb refuses RandR screen resizing";
  }
  EXPECT_EQ(capturer.Capture(1000).status, CaptureStatus::kInvalidated);
  const CapturedFrame copy = image.Capture(0);
  ASSERT_EQ(copy.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(copy.width, 1024u);
  EXPECT_EQ(copy.height, 600u);
  EXPECT_TRUE(FrameFitsMemory(copy));

  // Recreated, it captures the new monitor size.
  capturer.Release();
  ASSERT_TRUE(capturer.Initialize(0, 1280, 720));
  const CapturedFrame frame = capturer.Capture(100);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(frame.width, 1024u);
  EXPECT_EQ(frame.height, 600u);
}

TEST_F(X11CaptureTest, CapturersReportALostServerAsInvalidated) {
  X11ShmCapturer shm(Displays());
  X11ImageCapturer image(Displays());
  ASSERT_TRUE(shm.Initialize(0, 1280, 720));
  ASSERT_TRUE(image.Initialize(0, 1280, 720));
  ASSERT_EQ(shm.Capture(100).status, CaptureStatus::kFrameReady);
  ASSERT_EQ(image.Capture(0).status, CaptureStatus::kFrameReady);
  xvfb_.Stop();
  EXPECT_EQ(shm.Capture(200).status, CaptureStatus::kInvalidated);
  EXPECT_EQ(image.Capture(0).status, CaptureStatus::kInvalidated);
  shm.Release();
  EXPECT_EQ(shm.Capture(0).status, CaptureStatus::kInvalidated);
}

TEST_F(X11CaptureTest, BackendScalesTheWholeScreenCopyToTheStreamSize) {
  LogCapture log;
  painter_.Fill(640, 360, 640, 360, kOrange);  // the bottom-right quarter
  ScreenCapturers capturers;
  capturers.push_back(std::make_unique<X11ImageCapturer>(Displays()));
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(capturers), backend_switch, 0, "auto", 320, 180);
  ASSERT_TRUE(backend.Select());
  EXPECT_TRUE(log.Contains("[Capture] Active backend=x11image fallback (320x180)"));
  const CapturedFrame frame = backend.Capture(0);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  ASSERT_EQ(frame.width, 320u);
  ASSERT_EQ(frame.height, 180u);
  EXPECT_EQ(PixelAt(frame, 240, 135), kOrange);
  EXPECT_EQ(PixelAt(frame, 161, 91), kOrange);
  EXPECT_EQ(PixelAt(frame, 158, 88), 0u);
  EXPECT_EQ(PixelAt(frame, 80, 135), 0u);
}

TEST_F(X11CaptureTest, PlatformSelectionPrefersSharedMemoryCapture) {
  LogCapture log;
  painter_.Fill(0, 0, 1280, 720, kBlue);
  ScreenCapturers capturers;
  capturers.push_back(std::make_unique<X11ShmCapturer>(Displays()));
  capturers.push_back(std::make_unique<X11ImageCapturer>(Displays()));
  std::atomic<uint64_t> backend_switch{0};
  // A Windows source's name is no choice here: the list order decides, without a warning.
  CaptureBackend backend(std::move(capturers), backend_switch, 0, "wgc", 640, 360);
  ASSERT_TRUE(backend.Select());
  EXPECT_FALSE(log.Contains("requested but unavailable"));
  EXPECT_FALSE(log.Contains("fallback"));
  EXPECT_TRUE(log.Contains("[Capture] Active backend=x11shm output_index=0"));
  EXPECT_STREQ(backend.ActiveName(), "x11shm");
  const CapturedFrame frame = backend.Capture(100);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(frame.width, 640u);
  EXPECT_EQ(PixelAt(frame, 320, 180), kBlue);
}

}  // namespace
}  // namespace orvane
