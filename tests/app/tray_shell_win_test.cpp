#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/tray_icon.h"
#include "app/tray_shell_win.h"
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

// The window the shell posts the icon's messages to. It is top-level: Explorer's
// broadcasts reach no message-only window.
HWND TrayWindow() {
  return FindWindowW(L"OrvaneTrayWnd", nullptr);
}

// The notification area as Shell_NotifyIconW documents it: an icon is known by its window
// and id; NIM_ADD fails for a known icon, for a window that does not exist and while the
// taskbar is not up (at logon, before Explorer has started); NIM_MODIFY, NIM_SETVERSION
// and NIM_DELETE fail for an unknown icon; a record must carry its size. When Explorer
// restarts, every icon is forgotten.
class FakeNotificationArea {
 public:
  struct Icon {
    std::wstring tip;
    UINT version = 0;
    UINT callback_message = 0;
  };

  NotifyIconCall Call() {
    return [this](DWORD message, NOTIFYICONDATAW* record) { return Notify(message, record); };
  }

  void RefuseAdds(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    refused_adds_left_ = count;
  }
  void RestartExplorer() {
    std::lock_guard<std::mutex> lock(mutex_);
    icons_.clear();
  }
  std::optional<Icon> Find(HWND window) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto icon = icons_.find({window, 1});
    return icon == icons_.end() ? std::nullopt : std::optional<Icon>(icon->second);
  }

 private:
  BOOL Notify(DWORD message, NOTIFYICONDATAW* record) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (record == nullptr || record->cbSize != sizeof(NOTIFYICONDATAW)) {
      return FALSE;
    }
    const std::pair<HWND, UINT> key{record->hWnd, record->uID};
    const auto icon = icons_.find(key);
    switch (message) {
      case NIM_ADD:
        if (refused_adds_left_ > 0) {
          --refused_adds_left_;
          SetLastError(ERROR_TIMEOUT);
          return FALSE;
        }
        if (icon != icons_.end() || !IsWindow(record->hWnd)) {
          return FALSE;
        }
        icons_[key] = Apply(Icon{}, *record);
        return TRUE;
      case NIM_MODIFY:
        if (icon == icons_.end()) {
          return FALSE;
        }
        icon->second = Apply(icon->second, *record);
        return TRUE;
      case NIM_SETVERSION:
        if (icon == icons_.end() || record->uVersion > NOTIFYICON_VERSION_4) {
          return FALSE;
        }
        icon->second.version = record->uVersion;
        return TRUE;
      case NIM_DELETE:
        if (icon == icons_.end()) {
          return FALSE;
        }
        icons_.erase(icon);
        return TRUE;
      default:
        return FALSE;
    }
  }

  static Icon Apply(Icon icon, const NOTIFYICONDATAW& record) {
    if (record.uFlags & NIF_TIP) {
      icon.tip = record.szTip;
    }
    if (record.uFlags & NIF_MESSAGE) {
      icon.callback_message = record.uCallbackMessage;
    }
    return icon;
  }

  std::mutex mutex_;
  std::map<std::pair<HWND, UINT>, Icon> icons_;
  int refused_adds_left_ = 0;
};

// The icon comes up once the taskbar takes it, and again after Explorer restarts, with
// the tooltip of the moment and the version its messages are read in.
TEST(WindowsTrayShellTest, TheIconIsOfferedUntilTheTaskbarTakesItAndAfterExplorerRestarts) {
  FakeNotificationArea area;
  area.RefuseAdds(2);
  LogCapture log;
  TrayIcon tray(CreateWindowsTrayShell(area.Call()));
  tray.Start();
  tray.SetTooltip("Orvane Display - Waiting");
  HWND window = TrayWindow();
  ASSERT_NE(window, nullptr);
  // Explorer broadcasts to top-level windows (Wine's own shell would hear a broadcast from
  // here too, so the test posts to the tray's window alone).
  EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
  EXPECT_TRUE(log.Contains("[Tray] Shell_NotifyIcon(NIM_ADD) failed: 0x000005B4 -- retrying"));
  ASSERT_TRUE(WaitUntil([&] { return area.Find(window).has_value(); }));
  EXPECT_EQ(area.Find(window)->tip, L"Orvane Display - Waiting");
  EXPECT_EQ(area.Find(window)->version, static_cast<UINT>(NOTIFYICON_VERSION_4));
  EXPECT_EQ(area.Find(window)->callback_message, static_cast<UINT>(WM_USER + 100));

  area.RestartExplorer();
  tray.SetTooltip("Orvane Display - Connected");
  PostMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return area.Find(window).has_value(); }));
  EXPECT_EQ(area.Find(window)->tip, L"Orvane Display - Connected");
  EXPECT_EQ(area.Find(window)->version, static_cast<UINT>(NOTIFYICON_VERSION_4));

  // A broadcast while the icon is still known (a change of display scale) keeps it; Stop
  // is handled after it.
  PostMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  tray.Stop();
  EXPECT_FALSE(area.Find(window).has_value());
  EXPECT_EQ(log.Count("[Tray] Shell_NotifyIcon(NIM_ADD) failed"), 1u);
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
  HWND window = TrayWindow();
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

// The menu's window while it is open.
HWND OpenMenu() {
  HWND menu = FindWindowW(L"#32768", nullptr);
  return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

// Windows closes the menu of a window that is not in the foreground only when the user
// picks from it: a click elsewhere would leave it open, the tray thread blocked in it. A
// menu still open when the host stops is closed with it (its loop ignores WM_QUIT).
TEST(WindowsTrayShellTest, TheMenuOpensInTheForegroundAndClosesWhenTheHostStops) {
  ASSERT_NE(FindWindowW(L"Shell_TrayWnd", nullptr), nullptr)
      << "no notification area: wine draws it on an X display (ctest gives it one)";
  TrayIcon tray;
  tray.Start();
  HWND window = TrayWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(OpenMenu(), nullptr);

  PostMessageW(window, WM_USER + 100, 0, WM_RBUTTONUP);
  ASSERT_TRUE(WaitUntil([] { return OpenMenu() != nullptr; }));
  EXPECT_EQ(GetForegroundWindow(), window);
  tray.Stop();
  EXPECT_EQ(OpenMenu(), nullptr);
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
}  // namespace orvane
