#include "video/capture_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::LogCapture;

// A capturer whose initialisation result and frames the test decides; it records what
// the backend asked of it.
class FakeCapturer final : public ScreenCapturer {
 public:
  FakeCapturer(const char* name, bool initializes) : name_(name), initializes_(initializes) {}

  const char* name() const override { return name_; }
  const char* description() const override { return name_; }
  const char* known_limitation() const override { return limitation; }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override {
    ++initialize_calls;
    last_output_index = output_index;
    last_width = width;
    last_height = height;
    held = initializes_;
    return initializes_;
  }
  CapturedFrame Capture(uint32_t wait_ms) override {
    last_wait_ms = wait_ms;
    return next_frame;
  }
  void Release() override {
    ++release_calls;
    held = false;
  }

  const char* name_;
  bool initializes_;
  int initialize_calls = 0;
  int release_calls = 0;
  bool held = false;
  uint32_t last_output_index = 0;
  uint32_t last_width = 0;
  uint32_t last_height = 0;
  uint32_t last_wait_ms = 0;
  CapturedFrame next_frame;
  const char* limitation = nullptr;
};

struct Fakes {
  FakeCapturer* duplication = nullptr;
  FakeCapturer* graphics_capture = nullptr;
  FakeCapturer* screen_copy = nullptr;
};

// Builds the roles; without `with_monitor_role` the per-monitor role stays empty, as on
// a platform that cannot fill it.
ScreenCapturers MakeCapturers(Fakes& fakes, bool dup_ok, bool wgc_ok, bool gdi_ok,
                              bool with_monitor_role = true) {
  ScreenCapturers capturers;
  auto duplication = std::make_unique<FakeCapturer>("dup", dup_ok);
  auto screen_copy = std::make_unique<FakeCapturer>("copy", gdi_ok);
  fakes.duplication = duplication.get();
  fakes.screen_copy = screen_copy.get();
  capturers.duplication = std::move(duplication);
  capturers.screen_copy = std::move(screen_copy);
  if (with_monitor_role) {
    auto monitor = std::make_unique<FakeCapturer>("mon", wgc_ok);
    fakes.graphics_capture = monitor.get();
    capturers.graphics_capture = std::move(monitor);
  }
  return capturers;
}

TEST(CaptureBackendTest, SelectionFollowsTheChoiceAndFallsBackInOrder) {
  struct Case {
    const char* what;
    CaptureBackendChoice choice;
    bool dup_ok, wgc_ok, gdi_ok, allow_screen_copy;
    bool selected;
    ActiveBackend active;
    const char* warning;  // expected WARN, or null when none is expected
  };
  const char* kDupWarning = "[Capture] dup requested but unavailable; trying mon";
  const char* kMonWarning = "[Capture] mon requested but unavailable; trying dup";
  const Case cases[] = {
      {"auto takes duplication", CaptureBackendChoice::kAuto, true, true, true, true, true,
       ActiveBackend::kDuplication, nullptr},
      {"auto falls to monitor silently", CaptureBackendChoice::kAuto, false, true, true, true, true,
       ActiveBackend::kGraphicsCapture, nullptr},
      {"auto falls to screen copy", CaptureBackendChoice::kAuto, false, false, true, true, true,
       ActiveBackend::kScreenCopy, nullptr},
      {"auto without screen copy allowed", CaptureBackendChoice::kAuto, false, false, true, false,
       false, ActiveBackend::kNone, nullptr},
      {"dxgi choice available", CaptureBackendChoice::kDuplication, true, true, true, true, true,
       ActiveBackend::kDuplication, nullptr},
      {"dxgi choice falls to monitor", CaptureBackendChoice::kDuplication, false, true, true, true,
       true, ActiveBackend::kGraphicsCapture, kDupWarning},
      {"wgc choice prefers monitor", CaptureBackendChoice::kGraphicsCapture, true, true, true, true,
       true, ActiveBackend::kGraphicsCapture, nullptr},
      {"wgc choice falls to duplication", CaptureBackendChoice::kGraphicsCapture, true, false, true,
       true, true, ActiveBackend::kDuplication, kMonWarning},
      {"wgc choice ends on screen copy", CaptureBackendChoice::kGraphicsCapture, false, false, true,
       true, true, ActiveBackend::kScreenCopy, kMonWarning},
      {"nothing works", CaptureBackendChoice::kDuplication, false, false, false, true, false,
       ActiveBackend::kNone, kDupWarning},
      {"unknown choice acts as auto", static_cast<CaptureBackendChoice>(7), false, true, true, true,
       true, ActiveBackend::kGraphicsCapture, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    Fakes fakes;
    std::atomic<uint64_t> backend_switch{0};
    CaptureBackend backend(MakeCapturers(fakes, c.dup_ok, c.wgc_ok, c.gdi_ok), backend_switch, 2,
                           c.choice, 1280, 720);
    EXPECT_EQ(backend.Select(c.allow_screen_copy), c.selected);
    EXPECT_EQ(backend.active(), c.active);
    EXPECT_EQ(backend_switch.load(), c.active == ActiveBackend::kNone ? 0u : 1u);
    EXPECT_EQ(log.Count("requested but unavailable"), c.warning != nullptr ? 1u : 0u);
    if (c.warning != nullptr) {
      EXPECT_TRUE(log.Contains(c.warning));
    }
    EXPECT_EQ(fakes.screen_copy->initialize_calls,
              c.allow_screen_copy && (!c.dup_ok && !c.wgc_ok) ? 1 : 0);
  }
}

TEST(CaptureBackendTest, LogsTheKnownLimitationsOfTheCapturersThatHaveOne) {
  LogCapture log;
  Fakes fakes;
  std::atomic<uint64_t> backend_switch{0};
  ScreenCapturers capturers = MakeCapturers(fakes, true, true, true);
  fakes.duplication->limitation = "dup may contend";
  CaptureBackend backend(std::move(capturers), backend_switch, 0, CaptureBackendChoice::kAuto, 640,
                         360);
  backend.LogKnownLimitations();
  EXPECT_TRUE(log.Contains("[Capture] Known limitation: dup may contend"));
  EXPECT_EQ(log.Count("Known limitation"), 1u);
}

TEST(CaptureBackendTest, LogsTheActivatedBackendByItsOwnName) {
  LogCapture log;
  Fakes fakes;
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(MakeCapturers(fakes, true, true, true), backend_switch, 3,
                         CaptureBackendChoice::kAuto, 640, 360);
  ASSERT_TRUE(backend.Activate(ActiveBackend::kDuplication));
  EXPECT_TRUE(log.Contains("[Capture] Active backend=dup output_index=3"));
  EXPECT_STREQ(backend.ActiveName(), "dup");
  EXPECT_EQ(fakes.duplication->last_output_index, 3u);
  EXPECT_EQ(fakes.duplication->last_width, 640u);
  EXPECT_EQ(fakes.duplication->last_height, 360u);
  ASSERT_TRUE(backend.Activate(ActiveBackend::kDuplication));
  EXPECT_EQ(log.Count("[Capture] Active backend=dup"), 1u) << "re-activation is not announced";
  ASSERT_TRUE(backend.Activate(ActiveBackend::kGraphicsCapture));
  EXPECT_TRUE(log.Contains("[Capture] Active backend=mon output_index=3"));
  ASSERT_TRUE(backend.Activate(ActiveBackend::kScreenCopy));
  ASSERT_TRUE(backend.Activate(ActiveBackend::kScreenCopy));
  EXPECT_EQ(log.Count("[Capture] Active backend=copy fallback (640x360)"), 2u)
      << "the fallback is announced every time";
  EXPECT_STREQ(backend.ActiveName(), "copy");
}

TEST(CaptureBackendTest, CountsChangesOfTheActiveBackendOnly) {
  Fakes fakes;
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(MakeCapturers(fakes, true, true, true), backend_switch, 0,
                         CaptureBackendChoice::kAuto, 640, 360);
  ASSERT_TRUE(backend.Activate(ActiveBackend::kDuplication));
  ASSERT_TRUE(backend.Activate(ActiveBackend::kDuplication));
  EXPECT_EQ(backend_switch.load(), 1u) << "re-activating the active backend is no switch";
  ASSERT_TRUE(backend.Activate(ActiveBackend::kGraphicsCapture));
  EXPECT_EQ(backend_switch.load(), 2u);
  EXPECT_FALSE(fakes.duplication->held) << "the previous backend's objects are released";
  backend.Invalidate();
  EXPECT_EQ(backend.active(), ActiveBackend::kNone);
  EXPECT_FALSE(fakes.graphics_capture->held);
  EXPECT_EQ(backend_switch.load(), 3u) << "the change to none counts";
  backend.Invalidate();
  EXPECT_EQ(backend_switch.load(), 3u);
  EXPECT_STREQ(backend.ActiveName(), "none");
  ASSERT_TRUE(backend.Select(true));
  EXPECT_EQ(backend_switch.load(), 4u);
  backend.Release();
  EXPECT_EQ(backend.active(), ActiveBackend::kNone);
  EXPECT_EQ(backend_switch.load(), 4u) << "the end of the stream is not a switch";
  EXPECT_FALSE(fakes.duplication->held);
}

TEST(CaptureBackendTest, FailedReinitialisationOfTheActiveBackendLeavesNone) {
  Fakes fakes;
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(MakeCapturers(fakes, true, false, false), backend_switch, 0,
                         CaptureBackendChoice::kAuto, 640, 360);
  ASSERT_TRUE(backend.Activate(ActiveBackend::kDuplication));
  fakes.duplication->initializes_ = false;
  EXPECT_FALSE(backend.Activate(ActiveBackend::kDuplication));
  EXPECT_EQ(backend.active(), ActiveBackend::kNone);
  EXPECT_EQ(backend_switch.load(), 2u);
}

TEST(CaptureBackendTest, ScreenCopyNeedsAStreamSize) {
  for (const auto& [width, height] : {std::pair{0u, 360u}, std::pair{640u, 0u}}) {
    Fakes fakes;
    std::atomic<uint64_t> backend_switch{0};
    CaptureBackend backend(MakeCapturers(fakes, false, false, true), backend_switch, 0,
                           CaptureBackendChoice::kAuto, width, height);
    EXPECT_FALSE(backend.Activate(ActiveBackend::kScreenCopy));
    EXPECT_EQ(fakes.screen_copy->initialize_calls, 0);
    EXPECT_EQ(backend.active(), ActiveBackend::kNone);
  }
}

TEST(CaptureBackendTest, EmptyRolesAreSkippedWithoutNamingThemAsFallback) {
  LogCapture log;
  Fakes fakes;
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(MakeCapturers(fakes, false, false, true, false), backend_switch, 0,
                         CaptureBackendChoice::kDuplication, 640, 360);
  EXPECT_FALSE(backend.Activate(ActiveBackend::kGraphicsCapture));
  EXPECT_TRUE(backend.Select(true));
  EXPECT_EQ(backend.active(), ActiveBackend::kScreenCopy);
  EXPECT_TRUE(log.Contains("[Capture] dup requested but unavailable"));
  EXPECT_FALSE(log.Contains("trying"));

  std::atomic<uint64_t> no_switch{0};
  CaptureBackend empty(ScreenCapturers{}, no_switch, 0, CaptureBackendChoice::kGraphicsCapture, 640,
                       360);
  EXPECT_FALSE(empty.Select(true));
  EXPECT_EQ(empty.Capture(16).status, CaptureStatus::kInvalidated);
  EXPECT_EQ(no_switch.load(), 0u);
}

TEST(CaptureBackendTest, DeliversStreamSizedFramesOnly) {
  std::vector<uint8_t> pixels(8 * 4 * 4);
  for (size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = 0x11;
    pixels[i + 1] = 0x22;
    pixels[i + 2] = 0x33;
  }
  Fakes fakes;
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(MakeCapturers(fakes, true, false, false), backend_switch, 0,
                         CaptureBackendChoice::kAuto, 4, 2);
  ASSERT_TRUE(backend.Select(false));
  CapturedFrame& next = fakes.duplication->next_frame;
  next.status = CaptureStatus::kFrameReady;
  next.data = pixels.data();
  next.data_size = pixels.size();

  // Same size: handed over as captured, no copy.
  next.width = 4;
  next.height = 2;
  next.row_pitch = 32;
  CapturedFrame frame = backend.Capture(16);
  EXPECT_EQ(fakes.duplication->last_wait_ms, 16u);
  EXPECT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(frame.data, pixels.data());
  EXPECT_EQ(frame.row_pitch, 32u);

  // Another size: scaled into a stream-sized buffer.
  next.width = 8;
  next.height = 4;
  next.protected_content_masked = true;
  frame = backend.Capture(0);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_NE(frame.data, pixels.data());
  EXPECT_EQ(frame.width, 4u);
  EXPECT_EQ(frame.height, 2u);
  EXPECT_EQ(frame.row_pitch, 16u);
  EXPECT_TRUE(frame.protected_content_masked);
  EXPECT_EQ(frame.data[4 * 7 + 2], 0x33);

  // More rows than the memory holds: dropped as a failed attempt, warned once.
  LogCapture log;
  next.height = 5;
  EXPECT_EQ(backend.Capture(0).status, CaptureStatus::kFailed);
  EXPECT_EQ(backend.Capture(0).status, CaptureStatus::kFailed);
  EXPECT_EQ(log.Count("exceeds its 128 bytes"), 1u);

  // Other results pass through untouched.
  for (CaptureStatus status :
       {CaptureStatus::kNoNewFrame, CaptureStatus::kInvalidated, CaptureStatus::kFailed}) {
    next.status = status;
    EXPECT_EQ(backend.Capture(0).status, status);
  }
}

}  // namespace
}  // namespace orvane
