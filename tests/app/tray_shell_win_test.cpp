#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/tray_icon.h"
#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::LogCapture;
using testing::WaitUntil;

// True while the shell knows an icon of `window`: it accepts a change to it.
bool IconExists(HWND window) {
  NOTIFYICONDATAW record{};
  record.cbSize = sizeof(record);
  record.hWnd = window;
  record.uID = 1;
  record.uFlags = NIF_TIP | NIF_SHOWTIP;
  wcscpy(record.szTip, L"probe");
  return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

// The real tray thread, window and icon, driven by posting what the shell would post.
TEST(WindowsTrayShellTest, TheWindowRunsMenuCommandsAndStopRemovesTheIcon) {
  std::mutex mutex;
  std::vector<std::string> ran;
  const auto record = [&](const std::string& action) {
    std::lock_guard<std::mutex> lock(mutex);
    ran.push_back(action);
  };
  const auto ran_so_far = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return ran;
  };
  TrayActions actions;
  actions.open_console = [&] { record("open"); };
  actions.exit = [&] { record("exit"); };
  actions.select_monitor = [&](uint32_t index) { record("monitor " + std::to_string(index)); };
  actions.select_backend = [&](const std::string& name, const std::string&) { record(name); };

  ASSERT_NE(FindWindowW(L"Shell_TrayWnd", nullptr), nullptr)
      << "no notification area: wine draws it on an X display (ctest gives it one)";
  LogCapture log;
  TrayIcon tray;
  tray.model().SetActions(actions);
  tray.model().SetCaptureSources({{"dxgi", "DXGI", true}, {"wgc", "WGC (Beta)", true}});
  tray.Start();
  // The test binary has no icon resource 101: the system's application icon stands in,
  // without a warning.
  EXPECT_TRUE(log.Contains("[Tray] System tray icon created"));
  EXPECT_FALSE(log.Contains("[Tray] Custom icon not found"));
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"OrvaneTrayWnd", nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IconExists(window));

  tray.SetTooltip(std::string(200, 'x'));
  tray.ShowNotification("Orvane Display", "USB connection prepared.");
  EXPECT_EQ(tray.model().Tooltip(), std::string(127, 'x'));

  PostMessageW(window, WM_COMMAND, 1007, 0);  // one monitor: ignored
  PostMessageW(window, WM_COMMAND, 1003, 0);  // no client: ignored
  PostMessageW(window, WM_COMMAND, 1013, 0);  // not a command
  PostMessageW(window, WM_COMMAND, 1006, 0);
  PostMessageW(window, WM_COMMAND, 1011, 0);
  PostMessageW(window, WM_USER + 100, 0, WM_LBUTTONUP);
  PostMessageW(window, WM_COMMAND, 1004, 0);
  ASSERT_TRUE(WaitUntil([&] { return ran_so_far().size() >= 4; }));
  EXPECT_EQ(ran_so_far(), (std::vector<std::string>{"monitor 0", "wgc", "open", "exit"}));
  EXPECT_EQ(tray.model().State().capture_choice, "wgc");

  tray.Stop();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IconExists(window));
  // Updates after the icon is gone do nothing.
  tray.SetTooltip("after");
  tray.ShowNotification("Orvane Display", "after");
}

}  // namespace
}  // namespace orvane
