#include "video/mutter_capturer_pipewire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "input/remote_desktop_input_sink.h"
#include "integration/dbus_session.h"
#include "integration/fake_mutter.h"
#include "integration/pipewire_daemon.h"
#include "integration/produced_picture.h"
#include "support/log_capture.h"
#include "support/pipewire_test_producer.h"
#include "support/temp_folder.h"

namespace orvane {
namespace {

using testing::FakeMutter;
using testing::LogCapture;
using testing::PipeWireDaemon;
using testing::PipeWireTestProducer;
using testing::SessionCalls;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

std::vector<uint8_t> Picture(uint8_t seed) {
  return testing::PatternPicture(kWidth, kHeight, seed);
}

// A GNOME session's screen cast: a private PipeWire, which is the session's default one,
// with a producer's node, and Mutter on the same private bus, which this process's
// session bus becomes.
class MutterCapturerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemon_.started());
    // A virtual monitor's producer offers a size of its own but takes the one asked for.
    producer_ = any_size_producer_
                    ? std::make_unique<PipeWireTestProducer>(daemon_.Connect(), 320, 200, true)
                    : std::make_unique<PipeWireTestProducer>(daemon_.Connect(), kWidth, kHeight);
    const std::optional<uint32_t> node = producer_->NodeId();
    ASSERT_TRUE(node.has_value());
    mutter_ = std::make_unique<FakeMutter>(daemon_.bus_address(), *node, kWidth, kHeight);
    ASSERT_TRUE(mutter_->ready());
    setenv("DBUS_SESSION_BUS_ADDRESS", daemon_.bus_address().c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", daemon_.runtime_folder().c_str(), 1);
    unsetenv("PIPEWIRE_REMOTE");
  }

  void TearDown() override { unsetenv("PIPEWIRE_RUNTIME_DIR"); }

  std::vector<uint8_t> CaptureOnePicture(MutterCapturer& capturer, uint8_t seed) {
    return testing::CaptureProducedPicture(capturer, *producer_, Picture(seed), kWidth, kHeight);
  }

  bool any_size_producer_ = false;
  testing::TempFolder folder_{"orvane-mutter"};
  PipeWireDaemon daemon_{folder_.path()};
  std::unique_ptr<PipeWireTestProducer> producer_;
  std::unique_ptr<FakeMutter> mutter_;
  std::shared_ptr<MutterRemoteDesktop> session_ = std::make_shared<MutterRemoteDesktop>();
  std::shared_ptr<StreamCursorFeed> cursor_ = std::make_shared<StreamCursorFeed>();
};

TEST_F(MutterCapturerTest, CastsTheMonitorThroughARemoteDesktopSessionAndStopsItAtTheEnd) {
  MutterCapturer capturer(session_, cursor_, MutterRecording{});
  ASSERT_TRUE(capturer.Initialize(0, kWidth, kHeight));
  EXPECT_EQ(CaptureOnePicture(capturer, 7), Picture(7));
  capturer.Release();
  EXPECT_EQ(mutter_->Calls(),
            SessionCalls({"RemoteDesktop.CreateSession", "ScreenCast.CreateSession",
                          "RecordMonitor connector=DP-1 cursor-mode=2", "Start"},
                         {"Stop"}));
  EXPECT_TRUE(mutter_->ProtocolErrors().empty());
}

// Monitors count left to right; an index the desktop does not have means its primary one.
TEST_F(MutterCapturerTest, TheOutputIndexPicksAMonitorByItsPlaceOnTheDesktop) {
  const struct {
    uint32_t output_index;
    const char* call;
  } cases[] = {{1, "RecordMonitor connector=HDMI-1 cursor-mode=2"},
               {0, "RecordMonitor connector=DP-1 cursor-mode=2"},
               {4, "RecordMonitor connector=(primary) cursor-mode=2"}};
  for (const auto& c : cases) {
    MutterCapturer capturer(session_, cursor_, MutterRecording{});
    ASSERT_TRUE(capturer.Initialize(c.output_index, kWidth, kHeight));
    capturer.Release();
    const std::vector<std::string> calls = mutter_->Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), c.call), calls.end());
  }
  EXPECT_TRUE(mutter_->ProtocolErrors().empty());
}

class MutterVirtualMonitorTest : public MutterCapturerTest {
 protected:
  MutterVirtualMonitorTest() { any_size_producer_ = true; }
};

// --extend on GNOME: a virtual monitor whose stream takes the requested size, and input
// maps onto that size before any picture.
TEST_F(MutterVirtualMonitorTest, AnExtendedDisplayIsAVirtualMonitorOfTheRequestedSize) {
  MutterRecording recording;
  recording.virtual_width = kWidth;
  recording.virtual_height = kHeight;
  MutterCapturer capturer(session_, cursor_, recording);
  ASSERT_TRUE(capturer.Initialize(0, 0, 0));
  const std::optional<StreamArea> area = session_->Area();
  ASSERT_TRUE(area.has_value());
  EXPECT_EQ(area->width, kWidth);
  EXPECT_EQ(area->height, kHeight);
  EXPECT_EQ(CaptureOnePicture(capturer, 3), Picture(3));
  EXPECT_EQ(producer_->width(), kWidth);
  EXPECT_EQ(producer_->height(), kHeight);
  capturer.Release();
  EXPECT_EQ(mutter_->Calls(),
            SessionCalls({"RemoteDesktop.CreateSession", "ScreenCast.CreateSession",
                          "RecordVirtual cursor-mode=2", "Start"},
                         {"Stop"}));
  EXPECT_TRUE(mutter_->ProtocolErrors().empty());
}

// Touch, mouse and keys reach the session in the stream's coordinates, on its stream.
TEST_F(MutterCapturerTest, InputArrivesAsNotifyCallsOnTheStream) {
  MutterCapturer capturer(session_, cursor_, MutterRecording{});
  ASSERT_TRUE(capturer.Initialize(0, kWidth, kHeight));
  RemoteDesktopInputSink sink(session_);
  const DesktopRect desktop = sink.Desktop();
  EXPECT_EQ(desktop.width, static_cast<int32_t>(kWidth));
  EXPECT_EQ(desktop.height, static_cast<int32_t>(kHeight));
  namespace pf = pointer_flag;
  const TouchContact down[] = {{100, 10, 20, 512, pf::kDown | pf::kInContact | pf::kInRange}};
  const TouchContact moved[] = {{100, 70, -4, 512, pf::kUpdate | pf::kInContact | pf::kInRange}};
  const TouchContact up[] = {{100, 70, 0, 0, pf::kUp}};
  EXPECT_TRUE(sink.InjectTouch(down).ok);
  EXPECT_TRUE(sink.InjectTouch(moved).ok);
  EXPECT_TRUE(sink.InjectTouch(up).ok);
  sink.SendKey({0x41, false, false});
  sink.SendKey({0x41, true, false});
  sink.SendMouse({true, 5, 6, mouse_button::kLeftDown | mouse_button::kLeftUp});
  const std::vector<std::string> expected = {
      "NotifyTouchDown slot=0 x=10 y=20",
      "NotifyTouchMotion slot=0 x=63 y=0",
      "NotifyTouchUp slot=0",
      "NotifyKeyboardKeysym keysym=0x61 down",
      "NotifyKeyboardKeysym keysym=0x61 up",
      "NotifyPointerMotionAbsolute x=5 y=6",
      "NotifyPointerButton button=272 down",
      "NotifyPointerButton button=272 up",
  };
  std::vector<std::string> notified;
  testing::WaitUntil([&] {
    const std::vector<std::string> calls = mutter_->Calls();
    const size_t before = SessionCalls({"", "", "", ""}, {}).size();
    notified.assign(calls.begin() + std::min(before, calls.size()), calls.end());
    return notified.size() >= expected.size();
  });
  EXPECT_EQ(notified, expected);
  capturer.Release();
  EXPECT_TRUE(mutter_->ProtocolErrors().empty());
  // Once stopped, input is not sent.
  EXPECT_FALSE(sink.InjectTouch(down).ok);
}

TEST_F(MutterCapturerTest, ARefusalIsLoggedWithWhatToDoAndTheSessionStopped) {
  mutter_->RefuseRecording();
  LogCapture log;
  MutterCapturer capturer(session_, cursor_, MutterRecording{});
  EXPECT_FALSE(capturer.Initialize(0, kWidth, kHeight));
  EXPECT_TRUE(log.Contains("Unknown monitor"));
  EXPECT_TRUE(
      log.Contains("choose --capture-backend portal to share through the desktop's dialog"));
  EXPECT_EQ(capturer.TakeClientNotice(),
            "The computer's GNOME desktop did not share its screen. Start the stream again, or "
            "choose the ScreenCast portal as the capture source on the computer.");
  // Not asked again in the same stream.
  EXPECT_FALSE(capturer.Initialize(0, kWidth, kHeight));
  EXPECT_EQ(mutter_->Calls(), (std::vector<std::string>{"RemoteDesktop.CreateSession",
                                                        "ScreenCast.CreateSession", "Stop"}));
}

TEST(MutterAbsentTest, NoMutterOnTheBusIsLoggedAndTheSourceStops) {
  testing::TempFolder folder("orvane-mutter-absent");
  testing::DbusDaemon bus(folder.path());
  ASSERT_FALSE(bus.address().empty());
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
  EXPECT_FALSE(MutterRemoteDesktop::ServiceOnBus());
  LogCapture log;
  MutterCapturer capturer(std::make_shared<MutterRemoteDesktop>(), nullptr, MutterRecording{});
  EXPECT_FALSE(capturer.Initialize(0, kWidth, kHeight));
  EXPECT_TRUE(
      log.Contains("[Capture] Mutter's remote desktop and screen cast are not on the "
                   "session bus"));
  EXPECT_FALSE(capturer.TakeClientNotice().empty());
}

}  // namespace
}  // namespace orvane
