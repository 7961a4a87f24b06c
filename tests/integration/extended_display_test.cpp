#include <gtest/gtest.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "integration/dbus_session.h"
#include "integration/decoded_picture.h"
#include "integration/paired_host.h"
#include "integration/pointer_position.h"
#include "integration/run_shell.h"
#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kMonitorName[] = "OrvaneDisplay";
constexpr uint32_t kOrange = 0xFF8000;

struct Monitor {
  std::string name;
  int16_t x, y;
  uint16_t width, height;

  bool operator==(const Monitor&) const = default;
};

// What RandR says about the test display, asked on a connection of the test's own.
class RandrView {
 public:
  explicit RandrView(const std::string& display)
      : connection_(xcb_connect(display.c_str(), nullptr)),
        root_(xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root) {
    std::free(xcb_randr_query_version_reply(connection_, xcb_randr_query_version(connection_, 1, 5),
                                            nullptr));
  }
  ~RandrView() { xcb_disconnect(connection_); }

  std::vector<Monitor> Monitors() {
    std::vector<Monitor> monitors;
    auto* reply = xcb_randr_get_monitors_reply(
        connection_, xcb_randr_get_monitors(connection_, root_, 1), nullptr);
    if (reply == nullptr) {
      return monitors;
    }
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
      auto* name = xcb_get_atom_name_reply(connection_,
                                           xcb_get_atom_name(connection_, it.data->name), nullptr);
      monitors.push_back(
          {name ? std::string(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name))
                : "",
           it.data->x, it.data->y, it.data->width, it.data->height});
      std::free(name);
    }
    std::free(reply);
    return monitors;
  }

  std::optional<Monitor> Extended() {
    for (const Monitor& monitor : Monitors()) {
      if (monitor.name == kMonitorName) {
        return monitor;
      }
    }
    return std::nullopt;
  }

  std::pair<uint16_t, uint16_t> ScreenSize() {
    auto* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr);
    const std::pair<uint16_t, uint16_t> size{geometry->width, geometry->height};
    std::free(geometry);
    return size;
  }

  // Makes the one output primary, as desktops have it: RandR then lists its monitor first,
  // and the extended one is not the first monitor.
  bool MakeOutputPrimary() {
    auto* resources = xcb_randr_get_screen_resources_current_reply(
        connection_, xcb_randr_get_screen_resources_current(connection_, root_), nullptr);
    if (resources == nullptr || resources->num_outputs == 0) {
      std::free(resources);
      return false;
    }
    const xcb_randr_output_t output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
    std::free(resources);
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_randr_set_output_primary_checked(connection_, root_, output));
    std::free(error);
    return error == nullptr;
  }

  // Resizes the screen alone, its one output staying as it is.
  bool SetScreenSize(uint16_t width, uint16_t height) {
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_randr_set_screen_size_checked(connection_, root_, width, height, width / 4,
                                                       height / 4));
    std::free(error);
    return error == nullptr;
  }

  // Where the pointer is after a warp to (x, y).
  std::pair<int16_t, int16_t> WarpPointer(int16_t x, int16_t y) {
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, x, y);
    return Pointer();
  }

  std::pair<int16_t, int16_t> Pointer() { return PointerPosition(connection_, root_); }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_;
};

// A 3200x1080 Xvfb whose one output shows 1920x1080 at the left. Xvfb's screen can change
// size up to the size it started with and no further.
class ExtendedDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.started());
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    ASSERT_TRUE(painter_.connected());
    ASSERT_TRUE(painter_.ResizeScreen(1920, 1080));
    ASSERT_TRUE(randr_.MakeOutputPrimary());
  }

  // Ends the host as Ctrl+C does and waits for it.
  void Terminate() {
    host_->Signal(SIGTERM);
    EXPECT_EQ(host_->WaitForExit(20s), 0) << host_->Output();
  }

  TempFolder temp_{"orvane-extend"};
  XvfbServer xvfb_{"3200x1080x24"};
  XvfbPainter painter_{xvfb_.display()};
  RandrView randr_{xvfb_.display()};
  PairedHost host_{temp_.path()};
};

TEST_F(ExtendedDisplayTest, MonitorLivesAsLongAsTheHostAndTheScreenGrowsOnlyWhenItMust) {
  struct Case {
    const char* name;
    uint16_t screen_width;  // at the start, the output being 1920 wide
    uint16_t width_while_running;
  };
  for (const Case& c : {Case{"screen without room grows", 1920, 3200},
                        Case{"screen with room keeps its size", 3200, 3200}}) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(randr_.SetScreenSize(c.screen_width, 1080));
    ASSERT_TRUE(host_.Start({"--extend", "1280x720"}));
    EXPECT_EQ(randr_.Extended(), (Monitor{kMonitorName, 1920, 0, 1280, 720}));
    EXPECT_EQ(randr_.ScreenSize(), std::make_pair(c.width_while_running, uint16_t{1080}));
    EXPECT_EQ(randr_.Monitors().size(), 2u);
    EXPECT_TRUE(host_->WaitForOutput("[Main] Capture defaults: output_index=1"));

    Terminate();
    EXPECT_EQ(randr_.Extended(), std::nullopt);
    EXPECT_EQ(randr_.Monitors().size(), 1u);
    EXPECT_EQ(randr_.ScreenSize(), std::make_pair(c.screen_width, uint16_t{1080}));
  }
}

// The tray's "Extend the desktop" takes the monitor away while the host runs and adds it
// again; the menu shows which.
TEST_F(ExtendedDisplayTest, TheTrayTakesTheMonitorAwayAndAddsItAgain) {
  DbusDaemon bus(temp_.path());
  ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
  FakeDesktop desktop(bus.address(), true, true);
  ASSERT_TRUE(desktop.ready());
  ASSERT_TRUE(host_.Start({"--extend", "1280x720"}, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}}));
  ASSERT_TRUE(WaitUntil([&] { return !desktop.RegisteredItems().empty(); }, 10s));
  BusClient client(bus.address());
  const auto click_extend = [&] {
    GVariant* reply =
        client.Call(desktop.RegisteredItems().at(0), "/MenuBar", "com.canonical.dbusmenu", "Event",
                    g_variant_new("(isvu)", 1100, "clicked", g_variant_new_int32(0), 0u));
    if (reply != nullptr) {
      g_variant_unref(reply);
    }
    return reply != nullptr;
  };
  ASSERT_TRUE(randr_.Extended());

  ASSERT_TRUE(click_extend());
  EXPECT_TRUE(WaitUntil([&] {
    return !randr_.Extended() &&
           randr_.ScreenSize() == std::make_pair(uint16_t{1920}, uint16_t{1080});
  })) << randr_.ScreenSize().first;
  ASSERT_TRUE(click_extend());
  EXPECT_TRUE(WaitUntil([&] {
    return randr_.Extended() == Monitor{kMonitorName, 1920, 0, 1280, 720};
  }));
  EXPECT_TRUE(WaitUntil([&] {
    const auto& notices = desktop.Notifications();
    return std::any_of(notices.begin(), notices.end(), [](const auto& notice) {
      return notice.body == "Desktop extended for the next stream.";
    });
  }));

  Terminate();
  EXPECT_EQ(randr_.Extended(), std::nullopt);
}

// The process whose command line holds `argument` right after `option`; 0 when none does.
pid_t ProcessWithArgument(const std::string& option, const std::string& argument) {
  const std::string wanted = option + '\0' + argument + '\0';
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") == std::string::npos &&
        ReadFile(entry.path() / "cmdline").find(wanted) != std::string::npos) {
      return static_cast<pid_t>(std::stol(name));
    }
  }
  return 0;
}

// Closing the terminal relaunches the host in the background: the old host takes its
// monitor away, and the new one, which keeps the option, serves and adds it again.
TEST_F(ExtendedDisplayTest, TerminalCloseHandsTheMonitorToTheRelaunchedHost) {
  ASSERT_TRUE(host_.Start({"--extend", "1280x720"}));
  const std::string old_pid = std::to_string(host_->pid());
  host_->Signal(SIGHUP);
  EXPECT_EQ(host_->WaitForExit(20s), 0) << host_->Output();
  EXPECT_TRUE(host_->Output().find("[Main] Extended monitor removed") != std::string::npos);

  pid_t relaunched = 0;
  ASSERT_TRUE(
      WaitUntil([&] { return (relaunched = ProcessWithArgument("--after-pid", old_pid)); }, 10s));
  const fs::path logs = temp_ / "state" / "OrvaneDisplay" / "logs";
  const auto log_text = [&] {
    std::string text;
    for (const fs::directory_entry& entry : fs::directory_iterator(logs)) {
      text += ReadFile(entry.path());
    }
    return text;
  };
  const auto count = [](const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++found;
    }
    return found;
  };
  // Its log follows the old host's in the same file.
  EXPECT_TRUE(WaitUntil(
      [&] { return count(log_text(), "[Main] Ready. Waiting for mobile client...") == 2; }, 20s))
      << log_text();
  EXPECT_EQ(randr_.Extended(), (Monitor{kMonitorName, 1920, 0, 1280, 720}));

  kill(relaunched, SIGTERM);
  EXPECT_TRUE(WaitUntil([&] { return kill(relaunched, 0) != 0; }, 20s));
  EXPECT_EQ(randr_.Extended(), std::nullopt);
  EXPECT_EQ(randr_.ScreenSize(), std::make_pair(uint16_t{1920}, uint16_t{1080}));
}

// A host killed before it could take its monitor away leaves it and the grown screen; the
// next host takes both over and puts the screen back at its end.
TEST_F(ExtendedDisplayTest, TheNextHostPutsBackWhatAKilledOneLeft) {
  ASSERT_TRUE(host_.Start({"--extend", "1280x720"}));
  ASSERT_EQ(randr_.ScreenSize(), std::make_pair(uint16_t{3200}, uint16_t{1080}));
  host_->Signal(SIGKILL);
  host_->WaitForExit(10s);
  ASSERT_TRUE(randr_.Extended());

  ASSERT_TRUE(host_.Start({"--extend", "1280x720"}));
  EXPECT_TRUE(
      host_->WaitForOutput("[Main] Taking over the extended monitor a stopped host left; "
                           "the screen goes back to 1920x1080 at the end"))
      << host_->Output();
  EXPECT_EQ(randr_.Monitors().size(), 2u);
  Terminate();
  EXPECT_EQ(randr_.Extended(), std::nullopt) << host_->Output();
  EXPECT_EQ(randr_.ScreenSize(), std::make_pair(uint16_t{1920}, uint16_t{1080}));
}

TEST_F(ExtendedDisplayTest, ScreenTooSmallToGrowLeavesTheDesktopAsItWasAndStreamsOn) {
  ASSERT_TRUE(host_.StartAndPair({"--extend", "1600x900"}));
  EXPECT_TRUE(host_->WaitForOutput(
      "[Main] Cannot extend the desktop by 1600x900: the screen would have to be 3520x1080 and "
      "the server allows at most 3200x1080; streaming the chosen monitor"))
      << host_->Output();
  EXPECT_EQ(randr_.Extended(), std::nullopt);
  EXPECT_EQ(randr_.ScreenSize(), std::make_pair(uint16_t{1920}, uint16_t{1080}));
  EXPECT_TRUE(host_->WaitForOutput("[Main] Capture defaults: output_index=0"));
}

// Xwayland takes a RandR monitor, but a Wayland compositor other than GNOME's shows
// nothing on it: the host adds none there.
TEST_F(ExtendedDisplayTest, AWaylandDesktopThatAddsNoMonitorIsLeftAsItWas) {
  ASSERT_TRUE(host_.Start({"--extend", "1280x720"},
                          {{"WAYLAND_DISPLAY", "wayland-test"}, {"XDG_CURRENT_DESKTOP", "KDE"}}));
  EXPECT_TRUE(host_->WaitForOutput(
      "[Main] Cannot extend the desktop by 1280x720: this Wayland desktop adds no monitor for "
      "the host (GNOME's does, with --capture-backend auto or mutter); streaming the chosen "
      "monitor"))
      << host_->Output();
  EXPECT_EQ(randr_.Extended(), std::nullopt);
  EXPECT_EQ(randr_.ScreenSize(), std::make_pair(uint16_t{1920}, uint16_t{1080}));
}

TEST_F(ExtendedDisplayTest, StreamShowsTheExtendedMonitorAndATapLandsOnIt) {
  // Black on the real monitor and the extended one, an orange rectangle only on the latter.
  painter_.Fill(0, 0, 3200, 1080, 0x000000);
  painter_.Fill(1920 + 400, 240, 320, 240, kOrange);
  const xcb_window_t ticker = painter_.Fill(1920, 0, 64, 64, 0x202020);
  ASSERT_TRUE(host_.StartAndPair({"--extend", "1280x720"}));
  ASSERT_TRUE(randr_.Extended());

  std::atomic<bool> ticking{true};
  std::thread ticking_thread([&] {
    XvfbPainter painter(xvfb_.display());
    for (uint32_t shade = 0; ticking.load(); shade = (shade + 8) & 0xFF) {
      painter.Recolour(ticker, shade * 0x010101);
      std::this_thread::sleep_for(30ms);
    }
  });
  const fs::path video = temp_ / "stream.h264";
  const int streamed = RunShell(host_.Client("stream --video-frames 20 --seconds 120 --width 1280 "
                                             "--height 720 --out '" +
                                             video.string() + "'"),
                                temp_ / "stream.log");
  ticking = false;
  ticking_thread.join();
  ASSERT_EQ(streamed, 0) << ReadFile(temp_ / "stream.log");

  const DecodedPicture picture(video, 10, 1280, 720, false, temp_.path());
  ASSERT_TRUE(picture.valid()) << picture.error();
  EXPECT_NEAR(picture.At(560, 360, 0), 0xFF, 24);
  EXPECT_NEAR(picture.At(560, 360, 1), 0x80, 24);
  EXPECT_NEAR(picture.At(560, 360, 2), 0x00, 24);
  EXPECT_LE(picture.At(300, 600, 0), 24);

  if (host_->Output().find("Native multi-touch injection initialized") != std::string::npos) {
    GTEST_SKIP() << "uinput is open to the host: its touches go to the kernel, which a "
                    "virtual display does not read";
  }
  // (0.25, 0.75) of the 1280x720 monitor that starts at x 1920. A server that keeps the
  // pointer on the areas its CRTCs show, as RandR does while they touch, lets nothing
  // enter a monitor without one, Xvfb's included: there the tap must end pressed against
  // the real monitor's right edge, where one mapped onto the real monitor would not.
  const bool pointer_enters =
      randr_.WarpPointer(1920 + 640, 360) == std::make_pair<int16_t, int16_t>(1920 + 640, 360);
  randr_.WarpPointer(100, 100);
  const std::pair<int16_t, int16_t> expected =
      pointer_enters ? std::make_pair<int16_t, int16_t>(1920 + 319, 539)
                     : std::make_pair<int16_t, int16_t>(1919, 539);
  ASSERT_EQ(RunShell(host_.Client("input --input-port " + std::to_string(host_.input_port()) +
                                  " --touch 0.25,0.75"),
                     temp_ / "input.log"),
            0)
      << ReadFile(temp_ / "input.log");
  EXPECT_TRUE(WaitUntil([&] { return randr_.Pointer() == expected; }, 10s))
      << randr_.Pointer().first << "," << randr_.Pointer().second;
}

}  // namespace
}  // namespace orvane::testing
