#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/fake_audio_capture.h"
#include "client/tone_meter.h"
#include "integration/host_process.h"
#include "integration/paired_host.h"
#include "integration/pulse_server.h"
#include "integration/recording_window.h"
#include "integration/run_shell.h"
#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/small_png.h"
#include "support/temp_folder.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint16_t kWidth = 1280;
constexpr uint16_t kHeight = 720;
constexpr const char* kScreen = "1280x720x24";

// The host's test pattern: three quadrants painted over a window of the fourth colour.
constexpr uint32_t kBackground = 0x2060C0;
struct Quadrant {
  int16_t x, y;
  uint32_t rgb;
};
constexpr std::array<Quadrant, 4> kPattern = {{{0, 0, 0xD02020},
                                               {kWidth / 2, 0, 0x20C040},
                                               {0, kHeight / 2, 0xE0E0E0},
                                               {kWidth / 2, kHeight / 2, kBackground}}};
// Colours survive 4:2:0 H.264 and the YUV round trip within this, in flat areas.
constexpr int kTolerance = 24;

// What a user does at the viewer's machine, through XTest on its display.
class ViewerUser {
 public:
  explicit ViewerUser(const std::string& display)
      : connection_(xcb_connect(display.c_str(), nullptr)) {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    root_ = xcb_setup_roots_iterator(setup).data->root;
    first_keycode_ = setup->min_keycode;
    auto* mapping = xcb_get_keyboard_mapping_reply(
        connection_,
        xcb_get_keyboard_mapping(connection_, first_keycode_,
                                 static_cast<uint8_t>(setup->max_keycode - first_keycode_ + 1)),
        nullptr);
    per_keycode_ = mapping->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
    keysyms_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(mapping));
    std::free(mapping);
  }
  ~ViewerUser() { xcb_disconnect(connection_); }

  void Click(int16_t x, int16_t y) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, x, y, 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, root_, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, root_, 0, 0, 0);
    Sync();
  }

  void Press(xcb_keysym_t keysym) {
    uint8_t keycode = 0;
    for (size_t i = 0; i < keysyms_.size(); i += per_keycode_) {
      if (keysyms_[i] == keysym) {
        keycode = static_cast<uint8_t>(first_keycode_ + i / per_keycode_);
        break;
      }
    }
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, root_, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, root_, 0, 0, 0);
    Sync();
  }

 private:
  void Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
  uint8_t first_keycode_ = 0;
  uint8_t per_keycode_ = 1;
  std::vector<xcb_keysym_t> keysyms_;
};

// The real host on one virtual display and the viewer on another, each with a sound server
// of its own; the viewer pairs with the code the host shows, through --code.
class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_display_.started());
    ASSERT_TRUE(viewer_display_.started());
    host_pulse_ =
        std::make_unique<PulseServer>(temp_ / "host-pulse", std::vector<std::string>{"speakers"});
    viewer_pulse_ = std::make_unique<PulseServer>(temp_ / "viewer-pulse",
                                                  std::vector<std::string>{"viewer_speakers"});
    ASSERT_TRUE(host_pulse_->started());
    ASSERT_TRUE(viewer_pulse_->started());
    recorder_ =
        std::make_unique<RecordingWindow>(host_display_.display(), kWidth, kHeight, kBackground);
    // The painter's windows last as long as its connection: the whole test.
    painter_ = std::make_unique<XvfbPainter>(host_display_.display());
    ASSERT_TRUE(painter_->connected());
    for (const Quadrant& quadrant : kPattern) {
      if (quadrant.rgb != kBackground) {
        painter_->Fill(quadrant.x, quadrant.y, kWidth / 2, kHeight / 2, quadrant.rgb);
      }
    }
    ASSERT_TRUE(StartHost());
    std::vector<std::string> arguments{"127.0.0.1",
                                       "--control-port",
                                       std::to_string(host_.control_port()),
                                       "--identity",
                                       (temp_ / "identity.json").string(),
                                       "--size",
                                       std::to_string(kWidth) + "x" + std::to_string(kHeight)};
    if (!CodeTypedIntoWindow()) {
      // An untrusted device's Hello makes the host show a code.
      RunShell(host_.Client("pair"), temp_ / "pair.log");
      arguments.insert(arguments.end(), {"--code", ShownCode()});
    }
    viewer_ = std::make_unique<HostProcess>(
        ORVANE_VIEWER_BINARY, arguments, temp_.path(),
        HostProcess::Environment{{"DISPLAY", viewer_display_.display()},
                                 {"PULSE_SERVER", viewer_pulse_->address()},
                                 {"SDL_AUDIODRIVER", "pulseaudio"}});
    if (CodeTypedIntoWindow()) {
      ASSERT_TRUE(viewer_->WaitForOutput("Type the pairing code shown on the host", 30s))
          << viewer_->Output();
      ViewerUser user(viewer_display_.display());
      user.Click(kWidth / 2, kHeight / 2);  // the pointer over the window gives it the keys
      for (const char digit : ShownCode()) {
        user.Press(XK_0 + (digit - '0'));
      }
      user.Press(XK_Return);
    }
    ASSERT_TRUE(viewer_->WaitForOutput("Streaming from 127.0.0.1", 30s)) << viewer_->Output();
    EXPECT_NE(viewer_->Output().find("Paired: this device is now trusted"), std::string::npos);
  }

  // Whether the viewer starts without --code and is given the code in its window.
  virtual bool CodeTypedIntoWindow() const { return false; }

  std::string ShownCode() const {
    return ReadFile(temp_ / "config" / "OrvaneDisplay" / "active_pairing_code.txt").substr(0, 6);
  }

  ::testing::AssertionResult StartHost() {
    return host_.Start(
        {}, {{"DISPLAY", host_display_.display()}, {"PULSE_SERVER", host_pulse_->address()}});
  }

  // The viewer's display as RGB bytes; a PNG of it is left in the test's folder.
  std::vector<uint8_t> Screenshot() {
    const fs::path raw = temp_ / "viewer.rgb";
    fs::remove(raw);
    RunShell("ffmpeg -loglevel error -f x11grab -video_size " + std::to_string(kWidth) + "x" +
                 std::to_string(kHeight) + " -i " + viewer_display_.display() +
                 " -frames:v 1 -f rawvideo -pix_fmt rgb24 -y '" + raw.string() +
                 "' -frames:v 1 -y '" + (temp_ / "viewer.png").string() + "'",
             temp_ / "ffmpeg.log");
    const std::string bytes = ReadFile(raw);
    return {bytes.begin(), bytes.end()};
  }

  // The colours at the quadrants' middles, for a failure's message.
  static std::string Describe(const std::vector<uint8_t>& rgb) {
    if (rgb.size() != size_t{kWidth} * kHeight * 3) {
      return "no screenshot (" + std::to_string(rgb.size()) + " bytes)\n";
    }
    std::string text = "quadrant middles:";
    for (const Quadrant& quadrant : kPattern) {
      const size_t at = Middle(quadrant);
      char colour[16];
      std::snprintf(colour, sizeof(colour), " %02X%02X%02X", rgb[at], rgb[at + 1], rgb[at + 2]);
      text += colour;
    }
    return text + "\n";
  }

  static size_t Middle(const Quadrant& quadrant) {
    return (size_t{static_cast<uint16_t>(quadrant.y + kHeight / 4)} * kWidth + quadrant.x +
            kWidth / 4) *
           3;
  }

  // Whether every quadrant's middle shows its colour.
  static bool ShowsPattern(const std::vector<uint8_t>& rgb) {
    if (rgb.size() != size_t{kWidth} * kHeight * 3) {
      return false;
    }
    for (const Quadrant& quadrant : kPattern) {
      const size_t at = Middle(quadrant);
      for (int channel = 0; channel < 3; ++channel) {
        const int expected = static_cast<int>((quadrant.rgb >> (16 - 8 * channel)) & 0xFF);
        if (std::abs(rgb[at + channel] - expected) > kTolerance) {
          return false;
        }
      }
    }
    return true;
  }

  // The display's clipboard as `target` (default: text).
  std::string ClipboardOf(const std::string& display, const std::string& target = "UTF8_STRING") {
    const fs::path out = temp_ / "clipboard.out";
    RunShell("DISPLAY=" + display + " xclip -selection clipboard -t " + target + " -o > '" +
             out.string() + "' 2>/dev/null");
    return ReadFile(out);
  }

  // Copies on `display` as a program there would.
  void Copy(const std::string& display, const std::string& bytes,
            const std::string& target = "UTF8_STRING") {
    const fs::path in = temp_ / "clipboard.in";
    std::ofstream(in, std::ios::binary) << bytes;
    ASSERT_EQ(RunShell("DISPLAY=" + display + " xclip -selection clipboard -t " + target + " -i '" +
                       in.string() + "'"),
              0);
  }

  size_t Count(const std::string& text) const {
    const std::string output = viewer_->Output();
    size_t count = 0;
    for (size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) {
      ++count;
    }
    return count;
  }

  TempFolder temp_{"orvane-viewer"};
  XvfbServer host_display_{kScreen};
  XvfbServer viewer_display_{kScreen};
  std::unique_ptr<PulseServer> host_pulse_;
  std::unique_ptr<PulseServer> viewer_pulse_;
  std::unique_ptr<RecordingWindow> recorder_;
  std::unique_ptr<XvfbPainter> painter_;
  PairedHost host_{temp_.path()};
  std::unique_ptr<HostProcess> viewer_;
};

TEST_F(ViewerTest, ShowsTheHostsPictureAndDrivesItsPointerKeysAndClipboard) {
  std::vector<uint8_t> screenshot;
  EXPECT_TRUE(WaitUntil(
      [&] {
        screenshot = Screenshot();
        return ShowsPattern(screenshot);
      },
      20s))
      << Describe(screenshot) << viewer_->Output();
  // Kept in the build folder, for the documentation.
  std::error_code ignored;
  fs::copy_file(temp_ / "viewer.png", ORVANE_VIEWER_SCREENSHOT,
                fs::copy_options::overwrite_existing, ignored);
  // The picture maps one to one, so a click lands on the same pixel of the host.
  constexpr int16_t kClickX = 200;
  constexpr int16_t kClickY = 600;
  ViewerUser user(viewer_display_.display());
  user.Click(kClickX, kClickY);
  EXPECT_TRUE(
      WaitUntil([&] { return recorder_->Pointer() == std::make_pair(kClickX, kClickY); }, 10s))
      << host_->Output();

  for (const xcb_keysym_t keysym : {XK_a, XK_b, XK_Return}) {
    user.Press(keysym);
  }
  const std::vector<uint32_t> typed = {XK_a, XK_b, XK_Return};
  EXPECT_TRUE(WaitUntil(
      [&] {
        recorder_->Drain();
        return recorder_->keysyms_pressed().size() >= typed.size();
      },
      10s));
  EXPECT_EQ(recorder_->keysyms_pressed(), typed);

  Copy(viewer_display_.display(), "from the viewer");
  EXPECT_TRUE(
      WaitUntil([&] { return ClipboardOf(host_display_.display()) == "from the viewer"; }, 10s))
      << host_->Output();
  Copy(host_display_.display(), "from the host");
  EXPECT_TRUE(
      WaitUntil([&] { return ClipboardOf(viewer_display_.display()) == "from the host"; }, 10s))
      << viewer_->Output();

  // Images cross as the PNG bytes copied.
  const std::string png(kSmallPng.begin(), kSmallPng.end());
  Copy(host_display_.display(), png, "image/png");
  EXPECT_TRUE(
      WaitUntil([&] { return ClipboardOf(viewer_display_.display(), "image/png") == png; }, 10s))
      << viewer_->Output();
  // The host's clipboard moves on, so that the same picture copied on the viewer's side
  // is news to it.
  Copy(host_display_.display(), "text again");
  ASSERT_TRUE(
      WaitUntil([&] { return ClipboardOf(viewer_display_.display()) == "text again"; }, 10s));
  Copy(viewer_display_.display(), png, "image/png");
  EXPECT_TRUE(
      WaitUntil([&] { return ClipboardOf(host_display_.display(), "image/png") == png; }, 10s))
      << host_->Output();
}

TEST_F(ViewerTest, PlaysTheHostsToneIntoItsSoundServer) {
  const fs::path recording = temp_ / "viewer.raw";
  std::thread record([&] {
    RunShell("PULSE_SERVER=" + viewer_pulse_->address() +
             " timeout 4 parec --device=viewer_speakers.monitor --raw --format=s16le "
             "--rate=48000 --channels=2 > '" +
             recording.string() + "' 2>/dev/null");
  });
  EXPECT_TRUE(host_pulse_->Play(Sine(48000 * 4, 2, 1000.0, 48000, 0.5), "speakers"));
  record.join();
  const std::string bytes = ReadFile(recording);
  client::ToneMeter meter(48000);
  meter.Add(std::span(reinterpret_cast<const int16_t*>(bytes.data()), bytes.size() / 2), 2);
  ASSERT_TRUE(meter.FrequencyHz()) << bytes.size() << " bytes recorded\n" << viewer_->Output();
  EXPECT_NEAR(*meter.FrequencyHz(), 1000.0, 5.0);
  EXPECT_GT(*meter.LevelDbfs(), -30.0);
}

TEST_F(ViewerTest, ConnectsAgainToARestartedHost) {
  ASSERT_EQ(Count("Streaming from"), 1u);
  // Replacing the process kills the old host first, as a crash would.
  ASSERT_TRUE(StartHost());
  EXPECT_TRUE(WaitUntil([&] { return Count("Streaming from") >= 2; }, 30s)) << viewer_->Output();
  EXPECT_TRUE(host_->WaitForOutput("[Session] Starting stream", 10s)) << host_->Output();
}

class ViewerPairingPromptTest : public ViewerTest {
 protected:
  bool CodeTypedIntoWindow() const override { return true; }
};

// SetUp pairs through the window's prompt; the stream then shows the host.
TEST_F(ViewerPairingPromptTest, TheCodeTypedIntoTheWindowPairsTheDevice) {
  EXPECT_TRUE(WaitUntil([&] { return ShowsPattern(Screenshot()); }, 20s)) << viewer_->Output();
}

}  // namespace
}  // namespace orvane::testing
