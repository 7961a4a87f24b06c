#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "integration/dbus_session.h"
#include "integration/decoded_picture.h"
#include "integration/host_process.h"
#include "integration/paired_host.h"
#include "integration/pipewire_daemon.h"
#include "integration/run_shell.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kOrange[] = "FF8000";

struct MonitorMode {
  std::string connector;
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const MonitorMode&) const = default;
};

// A GNOME Wayland session of the test's own, as a user's login would start it: headless
// Mutter with one 1280x720 virtual monitor on a private bus, beside its PipeWire daemon
// and session manager, in a runtime folder of its own. Frames come only on change, so
// what a stream shows is drawn by a window of the test's own.
class HeadlessMutterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemon_.started());
    mutter_ = std::make_unique<HostProcess>(
        "mutter",
        std::vector<std::string>{"--headless", "--wayland", "--no-x11", "--virtual-monitor",
                                 "1280x720"},
        temp_ / "mutter",
        HostProcess::Environment{{"DBUS_SESSION_BUS_ADDRESS", daemon_.bus_address()},
                                 {"XDG_RUNTIME_DIR", daemon_.runtime_folder().string()},
                                 {"GSETTINGS_BACKEND", "memory"},
                                 {"WAYLAND_DISPLAY", ""},
                                 {"DISPLAY", ""}});
    ASSERT_TRUE(mutter_->started());
    ASSERT_TRUE(WaitUntil(
        [&] {
          return fs::exists(daemon_.runtime_folder() / "wayland-0") &&
                 Monitors() == std::vector<MonitorMode>{{"Meta-0", 1280, 720}};
        },
        60s))
        << mutter_->Output();
  }

  void TearDown() override {
    mutter_->Signal(SIGTERM);
    mutter_->WaitForExit(20s);
  }

  // What the programs of the session find in their environment.
  HostProcess::Environment Session() const {
    return {{"DBUS_SESSION_BUS_ADDRESS", daemon_.bus_address()},
            {"XDG_RUNTIME_DIR", daemon_.runtime_folder().string()},
            {"WAYLAND_DISPLAY", "wayland-0"},
            {"XDG_SESSION_TYPE", "wayland"},
            {"XDG_CURRENT_DESKTOP", "GNOME"},
            {"DISPLAY", ""}};
  }

  // A fullscreen orange window on the monitor of that size, once it shows.
  std::unique_ptr<HostProcess> Paint(const std::string& size) {
    auto painter = std::make_unique<HostProcess>(ORVANE_WAYLAND_PAINTER_BINARY,
                                                 std::vector<std::string>{size, kOrange},
                                                 temp_ / "painter", Session());
    EXPECT_TRUE(painter->WaitForOutput("ready " + size, 20s)) << painter->Output();
    return painter;
  }

  // Each monitor of Mutter's display configuration with its current mode.
  std::vector<MonitorMode> Monitors() {
    std::vector<MonitorMode> monitors;
    GVariant* state = bus_.Call("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                                "org.gnome.Mutter.DisplayConfig", "GetCurrentState", nullptr);
    if (state == nullptr) {
      return monitors;
    }
    GVariant* list = g_variant_get_child_value(state, 1);
    for (size_t index = 0; index < g_variant_n_children(list); ++index) {
      GVariant* monitor = g_variant_get_child_value(list, index);
      const gchar* connector = nullptr;
      GVariant* modes = nullptr;
      g_variant_get(monitor, "((&s&s&s&s)@a(siiddada{sv})@a{sv})", &connector, nullptr, nullptr,
                    nullptr, &modes, nullptr);
      for (size_t mode_index = 0; mode_index < g_variant_n_children(modes); ++mode_index) {
        GVariant* mode = g_variant_get_child_value(modes, mode_index);
        int32_t width = 0;
        int32_t height = 0;
        GVariant* properties = nullptr;
        g_variant_get(mode, "(&siiddad@a{sv})", nullptr, &width, &height, nullptr, nullptr, nullptr,
                      &properties);
        gboolean current = FALSE;
        if (g_variant_lookup(properties, "is-current", "b", &current) && current) {
          monitors.push_back({connector, width, height});
        }
        g_variant_unref(properties);
        g_variant_unref(mode);
      }
      g_variant_unref(modes);
      g_variant_unref(monitor);
    }
    g_variant_unref(list);
    g_variant_unref(state);
    return monitors;
  }

  TempFolder temp_{"orvane-headless-mutter"};
  PipeWireDaemon daemon_{temp_ / "session"};
  BusClient bus_{daemon_.bus_address()};
  std::unique_ptr<HostProcess> mutter_;
  PairedHost host_{temp_ / "host"};
};

void ExpectOrange(const DecodedPicture& picture, uint32_t x, uint32_t y) {
  ASSERT_TRUE(picture.valid()) << picture.error();
  EXPECT_NEAR(picture.At(x, y, 0), 0xFF, 24);
  EXPECT_NEAR(picture.At(x, y, 1), 0x80, 24);
  EXPECT_NEAR(picture.At(x, y, 2), 0x00, 24);
}

// What the window printed for a touch at (x, y) of its monitor, give or take a pixel.
bool TouchedNear(const HostProcess& window, int x, int y) {
  for (int dx = -1; dx <= 1; ++dx) {
    for (int dy = -1; dy <= 1; ++dy) {
      if (window.Output().find("touch-down " + std::to_string(x + dx) + " " +
                               std::to_string(y + dy) + "\n") != std::string::npos) {
        return true;
      }
    }
  }
  return false;
}

TEST_F(HeadlessMutterTest, StreamsTheMonitorAndTheWindowOnItGetsTheClientsTouchAndKeys) {
  const std::unique_ptr<HostProcess> window = Paint("1280x720");
  ASSERT_TRUE(host_.StartAndPair({}, Session()));
  EXPECT_TRUE(host_->WaitForOutput(
      "[Capture] Linux capture: mutter (Wayland session (WAYLAND_DISPLAY=wayland-0), GNOME "
      "with Mutter's remote desktop on the bus)"))
      << host_->Output();
  if (host_->Output().find("Native multi-touch injection initialized") != std::string::npos) {
    GTEST_SKIP() << "uinput is open to the host: its touches go to the kernel";
  }
  const fs::path video = temp_ / "stream.h264";
  ASSERT_EQ(RunShell(host_.Client("stream --video-frames 90 --seconds 60 --width 1280 --height "
                                  "720 --input-after 60 --touch 0.25,0.75 --keys 0x41 --out '" +
                                  video.string() + "'"),
                     temp_ / "stream.log"),
            0)
      << ReadFile(temp_ / "stream.log") << host_->Output();
  ExpectOrange(DecodedPicture(video, 19, 1280, 720, false, temp_.path()), 640, 360);
  // 0.25 and 0.75 of the streamed 1280x720 monitor; 'A' is the key that types "a".
  EXPECT_TRUE(WaitUntil([&] { return TouchedNear(*window, 319, 539); }, 10s))
      << window->Output() << ReadFile(temp_ / "stream.log") << host_->Output();
  EXPECT_TRUE(window->WaitForOutput("key 30 down\n") && window->WaitForOutput("key 30 up\n"))
      << window->Output();
  // The session's own events that make its devices reach no window.
  EXPECT_EQ(window->Output().find("touch-down"), window->Output().rfind("touch-down"));
  EXPECT_EQ(window->Output().find("key 42 "), std::string::npos);
}

TEST_F(HeadlessMutterTest, ExtendAddsAMonitorForTheStreamThatTakesTouchAndGoesAfter) {
  ASSERT_TRUE(host_.StartAndPair({"--extend", "1024x768"}, Session()));
  const fs::path video = temp_ / "stream.h264";
  int streamed = -1;
  // Long enough for the window to appear on the new monitor and the touch to follow.
  std::thread stream([&] {
    streamed = RunShell(host_.Client("stream --seconds 15 --width 1024 --height 768 "
                                     "--input-after 30 --touch 0.25,0.75 --out '" +
                                     video.string() + "'"),
                        temp_ / "stream.log");
  });
  const std::vector<MonitorMode> extended{{"Meta-0", 1280, 720}, {"Meta-1", 1024, 768}};
  const bool added = WaitUntil([&] { return Monitors() == extended; }, 20s);
  std::unique_ptr<HostProcess> window;
  if (added) {
    window = Paint("1024x768");
  }
  stream.join();
  ASSERT_TRUE(added) << host_->Output();
  ASSERT_EQ(streamed, 0) << ReadFile(temp_ / "stream.log") << host_->Output();

  // The window fills the new monitor; the first one, black, is not what streams.
  ExpectOrange(DecodedPicture(video, 19, 1024, 768, false, temp_.path()), 1000, 740);
  EXPECT_TRUE(TouchedNear(*window, 255, 575)) << window->Output();
  const std::vector<MonitorMode> first_only{{"Meta-0", 1280, 720}};
  EXPECT_TRUE(WaitUntil([&] { return Monitors() == first_only; }, 10s));
  host_->Interrupt();
  EXPECT_EQ(host_->WaitForExit(20s), 0) << host_->Output();
  EXPECT_EQ(Monitors(), first_only);
}

}  // namespace
}  // namespace orvane::testing
