// Desktop Duplication against a contract fake of DXGI (Wine has no duplication); the
// textures and their read-back are Wine's real Direct3D 11.
#include "video/duplication_capturer_dxgi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "video/capture_backend.h"
#include "video/fake_duplication_dxgi.h"
#include "video/letter_pixels.h"
#include "video/nv12_converter.h"

namespace orvane {
namespace {

using testing::Letters;

using testing::FakeDxgiDesktop;
using testing::LogCapture;

HMONITOR Handle(uintptr_t value) {
  return reinterpret_cast<HMONITOR>(value);
}

const HMONITOR kLandscape = Handle(0x100);
const HMONITOR kSecond = Handle(0x200);

const std::vector<std::string> kLandscapePicture = {"LLLL", "LLLL"};
const std::vector<std::string> kPortraitPicture = {"abc", "def", "ghi", "jkl", "mno"};

// Two adapters; the second one's monitor comes first in EnumDisplayMonitors order.
std::unique_ptr<FakeDxgiDesktop> TwoAdapterDesktop(DXGI_MODE_ROTATION rotation) {
  FakeDxgiDesktop::Monitor landscape{kLandscape, 0, 0, DXGI_MODE_ROTATION_IDENTITY,
                                     kLandscapePicture};
  FakeDxgiDesktop::Monitor second{kSecond, 4, 0, rotation, kPortraitPicture};
  return std::make_unique<FakeDxgiDesktop>(
      std::vector<std::vector<FakeDxgiDesktop::Monitor>>{{landscape}, {second}},
      std::vector<HMONITOR>{kSecond, kLandscape});
}

// The monitor index means the EnumDisplayMonitors position, whichever adapter drives it,
// and a rotated monitor's panel image comes out as the desktop shows it, at the size of
// its desktop rectangle (which the input mapping uses).
TEST(DxgiDuplicationTest, CapturesTheIndexedMonitorUprightOnAnyAdapter) {
  const struct {
    DXGI_MODE_ROTATION rotation;
    const char* name;
  } cases[] = {{DXGI_MODE_ROTATION_IDENTITY, "identity"},
               {DXGI_MODE_ROTATION_ROTATE90, "90"},
               {DXGI_MODE_ROTATION_ROTATE180, "180"},
               {DXGI_MODE_ROTATION_ROTATE270, "270"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto desktop = TwoAdapterDesktop(c.rotation);
    DxgiDuplicationCapturer capturer(desktop->Api());
    ASSERT_TRUE(capturer.Initialize(0, 3, 5));
    const CapturedFrame frame = capturer.Capture(16);
    ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
    ASSERT_TRUE(FrameFitsMemory(frame));
    EXPECT_EQ(frame.width, 3u);
    EXPECT_EQ(frame.height, 5u);
    EXPECT_EQ(Letters(frame), kPortraitPicture);
    capturer.Release();
    EXPECT_EQ(desktop->record().rule_breaks, 0);
    EXPECT_EQ(desktop->record().frames_released, desktop->record().frames_acquired);
  }
}

// Index 1 is the first adapter's monitor; an index past the monitors falls back to the
// first monitor, as the input mapping does.
TEST(DxgiDuplicationTest, OtherIndexesNameTheirMonitorsOrTheFirst) {
  auto desktop = TwoAdapterDesktop(DXGI_MODE_ROTATION_ROTATE90);
  DxgiDuplicationCapturer capturer(desktop->Api());
  ASSERT_TRUE(capturer.Initialize(1, 4, 2));
  EXPECT_EQ(Letters(capturer.Capture(16)), kLandscapePicture);
  ASSERT_TRUE(capturer.Initialize(7, 3, 5));
  EXPECT_EQ(Letters(capturer.Capture(16)), kPortraitPicture);
}

// A frame in which only the pointer moved (LastPresentTime 0) holds no new image.
TEST(DxgiDuplicationTest, PointerOnlyUpdatesAreNoNewFrames) {
  auto desktop = TwoAdapterDesktop(DXGI_MODE_ROTATION_IDENTITY);
  DxgiDuplicationCapturer capturer(desktop->Api());
  ASSERT_TRUE(capturer.Initialize(1, 4, 2));
  ASSERT_EQ(capturer.Capture(16).status, CaptureStatus::kFrameReady);

  desktop->MovePointer(kLandscape);
  EXPECT_EQ(capturer.Capture(16).status, CaptureStatus::kNoNewFrame);
  EXPECT_EQ(capturer.Capture(16).status, CaptureStatus::kNoNewFrame);

  desktop->MovePointer(kLandscape);
  desktop->Draw(kLandscape, {"MMMM", "NNNN"});
  EXPECT_EQ(capturer.Capture(16).status, CaptureStatus::kNoNewFrame);
  const CapturedFrame drawn = capturer.Capture(16);
  ASSERT_EQ(drawn.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(Letters(drawn), (std::vector<std::string>{"MMMM", "NNNN"}));
  capturer.Release();
  EXPECT_EQ(desktop->record().rule_breaks, 0);
  EXPECT_EQ(desktop->record().frames_acquired, 4);
  EXPECT_EQ(desktop->record().frames_released, 4);
}

// The NV12 picture the capturer hands out equals a conversion of the frame it hands out.
void ExpectNv12Matches(const CapturedFrame& frame) {
  ASSERT_NE(frame.nv12, nullptr);
  const size_t luma = size_t{frame.width} * frame.height;
  std::vector<uint8_t> expected(luma + size_t{frame.width} * (frame.height / 2));
  ASSERT_TRUE(
      ConvertBgraToNv12(frame.data, frame.row_pitch, frame.width, frame.height,
                        {expected.data(), frame.width, expected.data() + luma, frame.width}));
  EXPECT_EQ(std::vector<uint8_t>(frame.nv12, frame.nv12 + expected.size()), expected);
}

// Only what a frame's dirty rectangles name is read back and converted: the rest keeps the
// last frame's pixels (here the desktop draws outside them too, which the documented
// contract says it never does, to show what was copied).
TEST(DxgiDuplicationTest, OnlyTheDirtyRectanglesAreCopiedAndConverted) {
  const std::vector<std::string> first = {"AAAAAAAA", "AAAAAAAA", "AAAAAAAA", "AAAAAAAA"};
  FakeDxgiDesktop desktop({{{kLandscape, 0, 0, DXGI_MODE_ROTATION_IDENTITY, first}}}, {kLandscape});
  DxgiDuplicationCapturer capturer(desktop.Api());
  ASSERT_TRUE(capturer.Initialize(0, 8, 4));
  const CapturedFrame whole = capturer.Capture(16);
  ASSERT_EQ(whole.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(Letters(whole), first);
  EXPECT_TRUE(whole.kept_until_next_frame);
  ExpectNv12Matches(whole);

  desktop.Draw(kLandscape, {"BBBBBBBB", "BBBBBBBB", "BBBBBBBB", "BBBBBBBB"},
               {RECT{2, 1, 4, 3}, RECT{7, 0, 8, 1}});
  const CapturedFrame partial = capturer.Capture(16);
  ASSERT_EQ(partial.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(Letters(partial),
            (std::vector<std::string>{"AAAAAAAB", "AABBAAAA", "AABBAAAA", "AAAAAAAA"}));
  ExpectNv12Matches(partial);

  // The kept picture stays readable while nothing new comes.
  EXPECT_EQ(capturer.Capture(16).status, CaptureStatus::kNoNewFrame);
  EXPECT_EQ(Letters(partial),
            (std::vector<std::string>{"AAAAAAAB", "AABBAAAA", "AABBAAAA", "AAAAAAAA"}));
  capturer.Release();
  EXPECT_EQ(desktop.record().rule_breaks, 0);
}

// A source that always has the same picture, standing in for the last resort.
class StillPictureCapturer : public ScreenCapturer {
 public:
  const char* name() const override { return "still"; }
  const char* description() const override { return "Still picture"; }
  bool last_resort() const override { return true; }
  bool Initialize(uint32_t, uint32_t width, uint32_t height) override {
    pixels_.assign(size_t{width} * height * 4, 0);
    width_ = width;
    height_ = height;
    return true;
  }
  CapturedFrame Capture(uint32_t) override {
    CapturedFrame frame;
    frame.status = CaptureStatus::kFrameReady;
    frame.data = pixels_.data();
    frame.row_pitch = width_ * 4;
    frame.width = width_;
    frame.height = height_;
    frame.data_size = pixels_.size();
    return frame;
  }
  void Release() override {}

 private:
  std::vector<uint8_t> pixels_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

// The secure desktop (lock screen, elevation prompt) ends duplication and refuses a new
// one; once the user's desktop has the input again, capture returns to duplication
// instead of staying on the fallback.
TEST(DxgiDuplicationTest, ReturnsToDuplicationWhenTheDesktopSwitchesBack) {
  LogCapture log;
  auto desktop = TwoAdapterDesktop(DXGI_MODE_ROTATION_IDENTITY);
  ScreenCapturers sources;
  sources.push_back(std::make_unique<DxgiDuplicationCapturer>(desktop->Api()));
  sources.push_back(std::make_unique<StillPictureCapturer>());
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources), backend_switch, 1, "auto", 4, 2);
  ASSERT_TRUE(backend.Select());
  EXPECT_STREQ(backend.ActiveName(), "dxgi");
  ASSERT_EQ(backend.Capture(16).status, CaptureStatus::kFrameReady);

  desktop->SwitchToSecureDesktop();
  ASSERT_EQ(backend.Capture(16).status, CaptureStatus::kInvalidated);
  backend.Invalidate();
  ASSERT_TRUE(backend.Select());
  EXPECT_TRUE(log.Contains("[Capture] DuplicateOutput failed: 0x80070005"));
  EXPECT_STREQ(backend.ActiveName(), "still");
  desktop->AdvanceClock(10000);
  EXPECT_EQ(backend.Capture(16).status, CaptureStatus::kFrameReady);
  EXPECT_STREQ(backend.ActiveName(), "still");

  desktop->SwitchToUserDesktop();
  desktop->Draw(kLandscape, {"UUUU", "VVVV"});
  desktop->AdvanceClock(10000);
  const CapturedFrame frame = backend.Capture(16);
  EXPECT_STREQ(backend.ActiveName(), "dxgi");
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(Letters(frame), (std::vector<std::string>{"UUUU", "VVVV"}));
  EXPECT_TRUE(log.Contains("[Capture] Active backend=dxgi output_index=1"));
  // dxgi, none, the fallback, dxgi again.
  EXPECT_EQ(backend_switch.load(), 4u);
  backend.Release();
  EXPECT_EQ(desktop->record().rule_breaks, 0);
}

// The system's own answers where Wine has them: this thread's desktop has the input, and
// the first monitor exists.
TEST(DxgiDuplicationTest, SystemSeesItsInputDesktopAndMonitors) {
  const DuplicationApi api = DuplicationApi::System();
  EXPECT_TRUE(api.input_desktop_is_current());
  EXPECT_NE(api.monitor_at_index(0), nullptr);
  EXPECT_EQ(api.monitor_at_index(64), nullptr);
}

}  // namespace
}  // namespace orvane
