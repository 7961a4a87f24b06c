// Capture and cursor against a real display. They need a screen whose picture the test
// knows: the Linux integration test runs them under wine on an Xvfb it painted and names
// one painted pixel in ORVANE_TEST_SCREEN_PIXEL ("x,y,RRGGBB"). Elsewhere they skip.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/log_capture.h"
#include "video/capture_backend.h"
#include "video/cursor_source_win.h"
#include "video/cursor_tracker.h"
#include "video/duplication_capturer_dxgi.h"
#include "video/graphics_capturer_wgc.h"
#include "video/screen_copy_capturer_gdi.h"

namespace orvane {
namespace {

using testing::LogCapture;

struct PaintedPixel {
  int x = 0;
  int y = 0;
  uint32_t rgb = 0;
};

bool ReadPaintedPixel(PaintedPixel& pixel) {
  const char* text = std::getenv("ORVANE_TEST_SCREEN_PIXEL");
  unsigned rgb = 0;
  if (text == nullptr || std::sscanf(text, "%d,%d,%x", &pixel.x, &pixel.y, &rgb) != 3) {
    return false;
  }
  pixel.rgb = rgb;
  return true;
}

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

uint32_t RgbAt(const CapturedFrame& frame, int x, int y) {
  const uint8_t* bgra = frame.data + size_t(y) * frame.row_pitch + size_t(x) * 4;
  return (uint32_t{bgra[2]} << 16) | (uint32_t{bgra[1]} << 8) | bgra[0];
}

class WineDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ReadPaintedPixel(pixel_)) {
      GTEST_SKIP() << "needs a painted display named in ORVANE_TEST_SCREEN_PIXEL";
    }
    screen_width_ = GetSystemMetrics(SM_CXSCREEN);
    screen_height_ = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(screen_width_, pixel_.x);
    ASSERT_GT(screen_height_, pixel_.y);
  }

  PaintedPixel pixel_;
  int screen_width_ = 0;
  int screen_height_ = 0;
};

TEST_F(WineDisplayTest, ScreenCopyReadsThePaintedColour) {
  GdiScreenCopyCapturer capturer;
  ASSERT_TRUE(capturer.Initialize(0, screen_width_, screen_height_));
  const CapturedFrame frame = capturer.Capture(16);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(frame.width, uint32_t(screen_width_));
  EXPECT_EQ(frame.row_pitch, uint32_t(screen_width_) * 4);
  ASSERT_TRUE(FrameFitsMemory(frame));
  EXPECT_EQ(RgbAt(frame, pixel_.x, pixel_.y), pixel_.rgb);
  capturer.Release();
  EXPECT_EQ(capturer.Capture(16).status, CaptureStatus::kFailed);
}

// Wine has neither Desktop Duplication nor Windows.Graphics.Capture: each says why it
// cannot start, and the selection ends on the screen copy, scaled to the stream size.
TEST_F(WineDisplayTest, SelectionFallsBackToTheScreenCopyWhereNothingElseStarts) {
  if (!RunningUnderWine()) {
    GTEST_SKIP() << "expects a system without duplication and WGC";
  }
  LogCapture log;
  ScreenCapturers capturers;
  capturers.push_back(std::make_unique<DxgiDuplicationCapturer>());
  capturers.push_back(std::make_unique<WgcCapturer>());
  capturers.push_back(std::make_unique<GdiScreenCopyCapturer>());
  std::atomic<uint64_t> backend_switch{0};
  const uint32_t width = screen_width_ / 2;
  const uint32_t height = screen_height_ / 2;
  CaptureBackend backend(std::move(capturers), backend_switch, 5, "wgc", width, height);
  backend.LogKnownLimitations();
  ASSERT_TRUE(backend.Select());
  for (const std::string& line : log.Lines()) {
    std::printf("  log: %s\n", line.c_str());
  }
  EXPECT_TRUE(log.Contains(
      "[Capture] Known limitation: Desktop Duplication may contend with other capture apps in "
      "same session"));
  EXPECT_TRUE(log.Contains("[Capture] WGC requested but unavailable; trying Desktop Duplication"));
  EXPECT_TRUE(log.Contains("[Capture] Active backend=gdi fallback (" + std::to_string(width) + "x" +
                           std::to_string(height) + ")"));
  EXPECT_STREQ(backend.ActiveName(), "gdi");
  EXPECT_EQ(backend_switch.load(), 1u);

  const CapturedFrame frame = backend.Capture(16);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(frame.width, width);
  EXPECT_EQ(frame.height, height);
  EXPECT_EQ(RgbAt(frame, pixel_.x / 2, pixel_.y / 2), pixel_.rgb);
}

// A window of this thread in the foreground: the system reports the cursor of the
// foreground thread's input.
class ForegroundWindow {
 public:
  ForegroundWindow() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"OrvaneCursorTest";
    RegisterClassW(&window_class);
    window_ = CreateWindowExW(WS_EX_TOPMOST, L"OrvaneCursorTest", L"cursor", WS_POPUP | WS_VISIBLE,
                              0, 0, 200, 200, nullptr, nullptr, window_class.hInstance, nullptr);
    SetForegroundWindow(window_);
    Pump();
  }
  ~ForegroundWindow() { DestroyWindow(window_); }
  HWND handle() const { return window_; }
  void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
  }

 private:
  HWND window_ = nullptr;
};

TEST_F(WineDisplayTest, MonitorsAreFoundByTheirEnumerationIndex) {
  EXPECT_NE(MonitorAtIndex(0), nullptr);
  EXPECT_EQ(MonitorAtIndex(64), nullptr);
}

TEST_F(WineDisplayTest, CursorImageComesThroughAsBgra) {
  ForegroundWindow window;
  ASSERT_NE(window.handle(), nullptr);
  const HCURSOR beam = LoadCursorW(nullptr, MAKEINTRESOURCEW(32513));
  ASSERT_NE(beam, nullptr);
  SetCursorPos(100, 100);
  SetCursor(beam);
  window.Pump();
  CURSORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetCursorInfo(&info));
  EXPECT_EQ(info.hCursor, beam);
  EXPECT_EQ(CursorShapeName(beam), "text");
  EXPECT_EQ(CursorShapeName(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512))), "arrow");
  EXPECT_EQ(CursorShapeName(LoadCursorW(nullptr, MAKEINTRESOURCEW(32516))), "custom");

  CursorTracker tracker(std::make_unique<WinCursorSource>());
  const auto update = tracker.Poll();
  ASSERT_TRUE(update.has_value());
  EXPECT_EQ(update->shape(), "text");
  ASSERT_GT(update->width(), 0u);
  ASSERT_GT(update->height(), 0u);
  ASSERT_EQ(update->bitmap_argb().size(), size_t{update->width()} * update->height() * 4);
  size_t opaque = 0;
  size_t transparent = 0;
  for (size_t i = 3; i < update->bitmap_argb().size(); i += 4) {
    const uint8_t alpha = static_cast<uint8_t>(update->bitmap_argb()[i]);
    opaque += alpha == 255 ? 1 : 0;
    transparent += alpha == 0 ? 1 : 0;
  }
  // A cursor draws some pixels and lets the screen show through around them.
  EXPECT_GT(opaque, 0u);
  EXPECT_GT(transparent, opaque);
  std::printf("  cursor shape=%s %ux%u hotspot=%d,%d opaque=%zu\n", update->shape().c_str(),
              update->width(), update->height(), update->hotspot_x(), update->hotspot_y(), opaque);
}

}  // namespace
}  // namespace orvane
