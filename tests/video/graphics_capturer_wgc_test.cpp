#include "video/graphics_capturer_wgc.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/log_capture.h"
#include "video/fake_graphics_capture_wgc.h"

namespace orvane::testing {
namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 360;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;

uint32_t PixelAt(const CapturedFrame& frame, uint32_t x, uint32_t y) {
  uint32_t pixel = 0;
  std::memcpy(&pixel, frame.data + size_t{y} * frame.row_pitch + size_t{x} * 4, 4);
  return pixel;
}

// The capturer runs on Direct3D 11 (Wine's, on the test display) against a fake of the
// system's capture runtime.
class WgcCapturerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool has_device = [] {
      ComRef<ID3D11Device> device;
      ComRef<ID3D11DeviceContext> context;
      return SUCCEEDED(CreateBgraCaptureDevice(nullptr, device, context));
    }();
    if (!has_device) {
      GTEST_SKIP() << "no Direct3D 11 device";
    }
  }

  // Shows `bgra` and captures until a frame arrives (a size change costs one picture).
  static CapturedFrame CaptureOf(FakeGraphicsCapture& fake, WgcCapturer& capturer, uint32_t bgra) {
    CapturedFrame frame;
    for (int attempt = 0; attempt < 3 && frame.status != CaptureStatus::kFrameReady; ++attempt) {
      fake.Present(bgra);
      frame = capturer.Capture(0);
    }
    return frame;
  }
};

// The newest queued picture is delivered, never with the cursor drawn in where the system
// can leave it out, and without the capture border where the system lets it go; older
// systems capture with what they have.
TEST_F(WgcCapturerTest, DeliversTheNewestPictureWithoutCursorOrBorderWhereTheSystemAllows) {
  struct Case {
    const char* system;
    bool modern;
  };
  for (const Case c : {Case{"current", true}, Case{"before Windows 10 2004", false}}) {
    SCOPED_TRACE(c.system);
    FakeGraphicsCapture fake(kWidth, kHeight, c.modern);
    WgcCapturer capturer(fake.Runtime());
    ASSERT_TRUE(capturer.Initialize(0, 0, 0));
    fake.Present(kRed);
    fake.Present(kGreen);
    const CapturedFrame frame = capturer.Capture(0);
    ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
    EXPECT_EQ(frame.width, uint32_t{kWidth});
    EXPECT_EQ(frame.height, uint32_t{kHeight});
    EXPECT_EQ(PixelAt(frame, 0, 0), kGreen);
    EXPECT_EQ(PixelAt(frame, FakeGraphicsCapture::kCursorX, FakeGraphicsCapture::kCursorY),
              c.modern ? kGreen : FakeGraphicsCapture::kCursorBgra);
    EXPECT_EQ(fake.border_shown(), !c.modern);
    EXPECT_EQ(capturer.Capture(0).status, CaptureStatus::kNoNewFrame);
    capturer.Release();
    EXPECT_EQ(fake.rule_breaks(), 0);
  }
}

// A monitor that changes size is captured whole at its new size, larger or smaller.
TEST_F(WgcCapturerTest, FollowsTheMonitorToANewSize) {
  struct Size {
    int32_t width;
    int32_t height;
  };
  for (const Size size : {Size{800, 600}, Size{320, 200}}) {
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    FakeGraphicsCapture fake(kWidth, kHeight, true);
    WgcCapturer capturer(fake.Runtime());
    ASSERT_TRUE(capturer.Initialize(0, 0, 0));
    ASSERT_EQ(CaptureOf(fake, capturer, kRed).status, CaptureStatus::kFrameReady);
    fake.Resize(size.width, size.height);
    const CapturedFrame frame = CaptureOf(fake, capturer, kBlue);
    ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
    EXPECT_EQ(frame.width, uint32_t(size.width));
    EXPECT_EQ(frame.height, uint32_t(size.height));
    ASSERT_TRUE(FrameFitsMemory(frame));
    EXPECT_EQ(PixelAt(frame, frame.width - 1, frame.height - 1), kBlue);
    capturer.Release();
    EXPECT_EQ(fake.rule_breaks(), 0);
  }
}

// An unplugged monitor ends the capture as invalidated, so the selection moves on, and
// the capturer stops listening to the item it let go.
TEST_F(WgcCapturerTest, AMonitorThatGoesAwayInvalidatesTheCapture) {
  FakeGraphicsCapture fake(kWidth, kHeight, true);
  WgcCapturer capturer(fake.Runtime());
  ASSERT_TRUE(capturer.Initialize(0, 0, 0));
  ASSERT_EQ(CaptureOf(fake, capturer, kRed).status, CaptureStatus::kFrameReady);
  fake.Unplug();
  EXPECT_EQ(capturer.Capture(0).status, CaptureStatus::kInvalidated);
  capturer.Release();
  EXPECT_EQ(fake.closed_handlers(), 0);
  EXPECT_EQ(fake.rule_breaks(), 0);
}

}  // namespace
}  // namespace orvane::testing
