#include "video/capture_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::LogCapture;

// A source whose initialisation result and frames the test decides; it records what
// the backend asked of it.
class FakeCapturer final : public ScreenCapturer {
 public:
  FakeCapturer(const char* name, bool initializes, bool last_resort = false)
      : name_(name), initializes_(initializes), last_resort_(last_resort) {}

  const char* name() const override { return name_; }
  const char* description() const override { return name_; }
  bool last_resort() const override { return last_resort_; }
  bool available() const override { return available_; }
  bool chosen_only() const override { return chosen_only_; }
  std::string TakeClientNotice() override { return std::exchange(notice, std::string()); }
  const char* known_limitation() const override { return limitation; }
  bool ReadyToRetry() override { return ready_to_retry; }
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
  bool last_resort_;
  bool available_ = true;
  bool chosen_only_ = false;
  std::string notice;
  int initialize_calls = 0;
  int release_calls = 0;
  bool held = false;
  uint32_t last_output_index = 0;
  uint32_t last_width = 0;
  uint32_t last_height = 0;
  uint32_t last_wait_ms = 0;
  CapturedFrame next_frame;
  const char* limitation = nullptr;
  bool ready_to_retry = false;
};

// Sources "one", "two", "three" and the last resort "last", in that order. `starting`
// holds one letter per source: 's' starts, 'f' fails to start, 'u' is unavailable.
struct Sources {
  explicit Sources(const char* starting, bool with_others = true) {
    const char* names[] = {"one", "two", "three", "last"};
    for (size_t index = 0; index < 4; ++index) {
      if (!with_others && index != 0 && index != 3) {
        continue;
      }
      auto source =
          std::make_unique<FakeCapturer>(names[index], starting[index] == 's', index == 3);
      source->available_ = starting[index] != 'u';
      fakes.push_back(source.get());
      list.push_back(std::move(source));
    }
  }
  FakeCapturer& Named(const std::string& name) {
    for (FakeCapturer* fake : fakes) {
      if (name == fake->name()) {
        return *fake;
      }
    }
    throw std::out_of_range(name);
  }

  ScreenCapturers list;
  std::vector<FakeCapturer*> fakes;
};

TEST(CaptureBackendTest, SelectionTakesTheChoiceThenTheListOrderThenTheLastResort) {
  struct Case {
    const char* choice;
    const char* starting;  // per source, see Sources
    const char* active;
    const char* warning;  // expected WARN, or null when none is expected
  };
  const Case cases[] = {
      {"auto", "ssss", "one", nullptr},
      {"auto", "fsss", "two", nullptr},
      {"auto", "ffss", "three", nullptr},
      {"auto", "fffs", "last", nullptr},
      {"auto", "fuss", "three", nullptr},
      {"three", "ssss", "three", nullptr},
      {"three", "sssf", "three", nullptr},
      {"three", "ssfs", "one", "[Capture] three requested but unavailable; trying one"},
      {"two", "fffs", "last", "[Capture] two requested but unavailable; trying one"},
      {"two", "sufs", "one", "[Capture] two requested but unavailable; trying one"},
      {"one", "ffff", "none", "[Capture] one requested but unavailable; trying two"},
      // A last resort is no choice, and an unknown name is none: both act as auto.
      {"last", "ssss", "one", nullptr},
      {"bogus", "fsss", "two", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.choice) + " " + c.starting);
    LogCapture log;
    Sources sources(c.starting);
    std::vector<FakeCapturer*> fakes = sources.fakes;
    std::atomic<uint64_t> backend_switch{0};
    CaptureBackend backend(std::move(sources.list), backend_switch, 2, c.choice, 1280, 720);
    const bool none = std::string(c.active) == "none";
    EXPECT_EQ(backend.Select(), !none);
    EXPECT_STREQ(backend.ActiveName(), c.active);
    EXPECT_EQ(backend_switch.load(), none ? 0u : 1u);
    EXPECT_EQ(log.Count("requested but unavailable"), c.warning != nullptr ? 1u : 0u);
    if (c.warning != nullptr) {
      EXPECT_TRUE(log.Contains(c.warning));
    }
    // The last resort is tried only when nothing else started, and an unavailable source
    // never.
    EXPECT_EQ(fakes[3]->initialize_calls, std::string(c.active) == "last" || none ? 1 : 0);
    for (const FakeCapturer* fake : fakes) {
      if (!fake->available_) {
        EXPECT_EQ(fake->initialize_calls, 0) << fake->name();
      }
    }
  }
}

// A source showing another desktop (a Wayland screen cast beside X11 capture) neither
// stands in for the others nor has them stand in for it.
TEST(CaptureBackendTest, AChosenOnlySourceRunsAloneAndOnlyWhenChosen) {
  struct Case {
    const char* choice;
    const char* starting;
    const char* active;
    int chosen_only_starts;  // initialisations of "two"
    int last_resort_starts;
  };
  const Case cases[] = {
      {"auto", "ssss", "one", 0, 0}, {"one", "fsss", "three", 0, 0}, {"auto", "fsff", "none", 0, 1},
      {"two", "ssss", "two", 1, 0},  {"two", "sfss", "none", 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.choice) + " " + c.starting);
    Sources sources(c.starting);
    FakeCapturer& two = sources.Named("two");
    FakeCapturer& last = sources.Named("last");
    two.chosen_only_ = true;
    std::atomic<uint64_t> backend_switch{0};
    CaptureBackend backend(std::move(sources.list), backend_switch, 0, c.choice, 640, 360);
    EXPECT_EQ(backend.Select(), std::string(c.active) != "none");
    EXPECT_STREQ(backend.ActiveName(), c.active);
    EXPECT_EQ(two.initialize_calls, c.chosen_only_starts);
    EXPECT_EQ(last.initialize_calls, c.last_resort_starts);
  }
}

TEST(CaptureBackendTest, HandsOnEachSourcesNoticeForTheClientOnce) {
  Sources sources("ssss");
  sources.Named("two").notice = "Screen sharing was refused";
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", 640, 360);
  EXPECT_EQ(backend.TakeClientNotices(), std::vector<std::string>{"Screen sharing was refused"});
  EXPECT_TRUE(backend.TakeClientNotices().empty());
}

TEST(CaptureBackendTest, AChosenSourceWithOnlyALastResortBehindItNamesThatFallback) {
  LogCapture log;
  Sources sources("ffss", false);
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "one", 640, 360);
  EXPECT_TRUE(backend.Select());
  EXPECT_STREQ(backend.ActiveName(), "last");
  EXPECT_TRUE(log.Contains("[Capture] one requested but unavailable; trying last"));

  std::atomic<uint64_t> no_switch{0};
  CaptureBackend empty(ScreenCapturers{}, no_switch, 0, "one", 640, 360);
  EXPECT_FALSE(empty.Select());
  EXPECT_EQ(empty.Capture(16).status, CaptureStatus::kInvalidated);
  EXPECT_EQ(no_switch.load(), 0u);
}

// The frame loop selects again four times a second while nothing starts: the chosen
// source's absence is told once per spell, not every time.
TEST(CaptureBackendTest, AChosenSourceThatStaysAwayIsToldOncePerSpell) {
  LogCapture log;
  Sources sources("fuuu", false);
  FakeCapturer& one = sources.Named("one");
  FakeCapturer& last = sources.Named("last");
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "one", 640, 360);
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_FALSE(backend.Select());
  }
  EXPECT_EQ(log.Count("[Capture] one requested but unavailable"), 1u);

  one.initializes_ = true;
  EXPECT_TRUE(backend.Select());
  backend.Invalidate();
  one.initializes_ = false;
  EXPECT_FALSE(backend.Select());
  EXPECT_EQ(log.Count("[Capture] one requested but unavailable"), 2u);
  EXPECT_EQ(last.initialize_calls, 0);
}

TEST(CaptureBackendTest, LogsTheKnownLimitationsOfTheSourcesThatHaveOne) {
  LogCapture log;
  Sources sources("ssss");
  sources.Named("two").limitation = "two may contend";
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", 640, 360);
  backend.LogKnownLimitations();
  EXPECT_TRUE(log.Contains("[Capture] Known limitation: two may contend"));
  EXPECT_EQ(log.Count("Known limitation"), 1u);
}

TEST(CaptureBackendTest, LogsTheActivatedSourceByItsOwnName) {
  LogCapture log;
  Sources sources("ssss");
  FakeCapturer& one = sources.Named("one");
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 3, "auto", 640, 360);
  ASSERT_TRUE(backend.Activate(0));
  EXPECT_TRUE(log.Contains("[Capture] Active backend=one output_index=3"));
  EXPECT_STREQ(backend.ActiveName(), "one");
  EXPECT_EQ(one.last_output_index, 3u);
  EXPECT_EQ(one.last_width, 640u);
  EXPECT_EQ(one.last_height, 360u);
  ASSERT_TRUE(backend.Activate(0));
  EXPECT_EQ(log.Count("[Capture] Active backend=one"), 1u) << "re-activation is not announced";
  ASSERT_TRUE(backend.Activate(1));
  EXPECT_TRUE(log.Contains("[Capture] Active backend=two output_index=3"));
  ASSERT_TRUE(backend.Activate(3));
  ASSERT_TRUE(backend.Activate(3));
  EXPECT_EQ(log.Count("[Capture] Active backend=last fallback (640x360)"), 2u)
      << "the last resort is announced every time";
  EXPECT_STREQ(backend.ActiveName(), "last");
}

TEST(CaptureBackendTest, CountsChangesOfTheActiveSourceOnly) {
  Sources sources("ssss");
  FakeCapturer& one = sources.Named("one");
  FakeCapturer& two = sources.Named("two");
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", 640, 360);
  ASSERT_TRUE(backend.Activate(0));
  ASSERT_TRUE(backend.Activate(0));
  EXPECT_EQ(backend_switch.load(), 1u) << "re-activating the active source is no switch";
  ASSERT_TRUE(backend.Activate(1));
  EXPECT_EQ(backend_switch.load(), 2u);
  EXPECT_FALSE(one.held) << "the previous source's objects are released";
  backend.Invalidate();
  EXPECT_EQ(backend.active(), nullptr);
  EXPECT_FALSE(two.held);
  EXPECT_EQ(backend_switch.load(), 3u) << "the change to none counts";
  backend.Invalidate();
  EXPECT_EQ(backend_switch.load(), 3u);
  EXPECT_STREQ(backend.ActiveName(), "none");
  ASSERT_TRUE(backend.Select());
  EXPECT_EQ(backend_switch.load(), 4u);
  backend.Release();
  EXPECT_EQ(backend.active(), nullptr);
  EXPECT_EQ(backend_switch.load(), 4u) << "the end of the stream is not a switch";
  EXPECT_FALSE(one.held);
}

TEST(CaptureBackendTest, FailedReinitialisationOfTheActiveSourceLeavesNone) {
  Sources sources("sfff");
  FakeCapturer& one = sources.Named("one");
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", 640, 360);
  ASSERT_TRUE(backend.Activate(0));
  one.initializes_ = false;
  EXPECT_FALSE(backend.Activate(0));
  EXPECT_EQ(backend.active(), nullptr);
  EXPECT_EQ(backend_switch.load(), 2u);
}

// A more preferred source that could not start comes back once it says it may start
// now; a failed attempt leaves the active source as it was, and a less preferred source
// is never tried while a better one is active.
TEST(CaptureBackendTest, ReturnsToAPreferredSourceReadyToStartAgain) {
  Sources sources("fsss");
  FakeCapturer& one = sources.Named("one");
  FakeCapturer& two = sources.Named("two");
  FakeCapturer& three = sources.Named("three");
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", 640, 360);
  ASSERT_TRUE(backend.Select());
  ASSERT_STREQ(backend.ActiveName(), "two");
  three.ready_to_retry = true;
  backend.Capture(16);
  EXPECT_EQ(one.initialize_calls, 1);
  EXPECT_EQ(three.initialize_calls, 0);

  one.ready_to_retry = true;
  two.last_wait_ms = 0;
  backend.Capture(16);
  EXPECT_EQ(one.initialize_calls, 2);
  EXPECT_STREQ(backend.ActiveName(), "two");
  EXPECT_TRUE(two.held);
  EXPECT_EQ(two.last_wait_ms, 16u);
  EXPECT_EQ(backend_switch.load(), 1u);

  one.initializes_ = true;
  backend.Capture(16);
  EXPECT_STREQ(backend.ActiveName(), "one");
  EXPECT_EQ(one.last_wait_ms, 16u);
  EXPECT_FALSE(two.held);
  EXPECT_EQ(backend_switch.load(), 2u);
}

TEST(CaptureBackendTest, TheLastResortNeedsAStreamSize) {
  for (const auto& [width, height] : {std::pair{0u, 360u}, std::pair{640u, 0u}}) {
    Sources sources("fffs");
    FakeCapturer& last = sources.Named("last");
    std::atomic<uint64_t> backend_switch{0};
    CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", width, height);
    EXPECT_FALSE(backend.Activate(3));
    EXPECT_EQ(last.initialize_calls, 0);
    EXPECT_EQ(backend.active(), nullptr);
  }
}

TEST(CaptureBackendTest, CountsEachSourcesResultsAndLogsThemPerSource) {
  std::vector<uint8_t> pixels(4 * 2 * 4);
  Sources sources("ssss");
  FakeCapturer& one = sources.Named("one");
  FakeCapturer& two = sources.Named("two");
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", 4, 2);
  ASSERT_TRUE(backend.Select());
  CapturedFrame& next = one.next_frame;
  next.status = CaptureStatus::kFrameReady;
  next.data = pixels.data();
  next.data_size = pixels.size();
  next.row_pitch = 16;
  next.width = 4;
  next.height = 2;
  backend.Capture(0);
  backend.Capture(0);
  one.next_frame.status = CaptureStatus::kNoNewFrame;
  backend.Capture(0);
  one.next_frame.status = CaptureStatus::kInvalidated;
  backend.Capture(0);
  backend.Invalidate();
  ASSERT_TRUE(backend.Activate(1));
  backend.CountReinit();
  two.next_frame = one.next_frame;
  two.next_frame.status = CaptureStatus::kFailed;
  backend.Capture(0);
  two.next_frame.status = CaptureStatus::kFrameReady;
  two.next_frame.height = 5;  // more rows than its memory holds: a failure, not a frame
  backend.Capture(0);

  const CaptureSourceCounters& first = backend.counters(0);
  EXPECT_EQ(first.frames, 2u);
  EXPECT_EQ(first.timeouts, 1u);
  EXPECT_EQ(first.reinits, 0u);
  EXPECT_EQ(first.failures, 0u);
  const CaptureSourceCounters& second = backend.counters(1);
  EXPECT_EQ(second.frames, 0u);
  EXPECT_EQ(second.reinits, 1u);
  EXPECT_EQ(second.failures, 2u);

  LogCapture log;
  backend.LogSourceCounters();
  EXPECT_TRUE(log.Contains("[Capture] Source one: frames=2 timeouts=1 reinits=0 failures=0"));
  EXPECT_TRUE(log.Contains("[Capture] Source two: frames=0 timeouts=0 reinits=1 failures=2"));
  EXPECT_TRUE(log.Contains("[Capture] Source last: frames=0 timeouts=0 reinits=0 failures=0"));
}

TEST(CaptureBackendTest, DeliversStreamSizedFramesOnly) {
  std::vector<uint8_t> pixels(8 * 4 * 4);
  for (size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = 0x11;
    pixels[i + 1] = 0x22;
    pixels[i + 2] = 0x33;
  }
  Sources sources("ffff");
  FakeCapturer& one = sources.Named("one");
  one.initializes_ = true;
  std::atomic<uint64_t> backend_switch{0};
  CaptureBackend backend(std::move(sources.list), backend_switch, 0, "auto", 4, 2);
  ASSERT_TRUE(backend.Select());
  CapturedFrame& next = one.next_frame;
  next.status = CaptureStatus::kFrameReady;
  next.data = pixels.data();
  next.data_size = pixels.size();

  // Same size: handed over as captured, no copy.
  next.width = 4;
  next.height = 2;
  next.row_pitch = 32;
  CapturedFrame frame = backend.Capture(16);
  EXPECT_EQ(one.last_wait_ms, 16u);
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
