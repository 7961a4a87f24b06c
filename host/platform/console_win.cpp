#include "platform/console.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "platform/process.h"

namespace orvane {
namespace {

constexpr wchar_t kSessionWindowClass[] = L"OrvaneSessionWnd";
constexpr UINT kStopMessage = WM_USER + 1;
// How long the end of a Windows session waits for the host's orderly stop; after the
// window's answer the system may end the process at any moment.
constexpr auto kOrderlyStopLimit = std::chrono::seconds(20);

std::mutex g_mutex;
ConsoleEventHandler g_handler;

ConsoleEventHandler CurrentHandler() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_handler;
}

BOOL WINAPI ConsoleControlHandler(DWORD event) {
  const ConsoleEventHandler handler = CurrentHandler();
  return handler && handler(event) ? TRUE : FALSE;
}

// Logoff and shutdown as a Windows program hears them. A console process that loads
// user32 (the host does) gets no CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT, and a host in
// the background has no console at all; a hidden top-level window is sent
// WM_QUERYENDSESSION and WM_ENDSESSION in either case.
class SessionEndWindow {
 public:
  void Start() {
    if (thread_.joinable()) {
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = false;
    }
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    thread_ = std::thread([this, &created] { Run(created); });
    window_ = window.get();
  }

  // Lets a pending WM_ENDSESSION answer (the orderly stop is over) and ends the thread.
  void Stop() {
    if (!thread_.joinable()) {
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    stopped_changed_.notify_all();
    if (window_ != nullptr) {
      PostMessageW(window_, kStopMessage, 0, 0);
    }
    thread_.join();
    window_ = nullptr;
  }

 private:
  void Run(std::promise<HWND>& created) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kSessionWindowClass;
    RegisterClassExW(&window_class);
    HWND window = CreateWindowExW(0, kSessionWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), this);
    created.set_value(window);
    if (window == nullptr) {
      return;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      DispatchMessageW(&message);
    }
  }

  void OnEndSession(LPARAM reason) {
    const ConsoleEventHandler handler = CurrentHandler();
    if (!handler) {
      return;
    }
    handler((reason & ENDSESSION_LOGOFF) != 0 ? kConsoleLogoff : kConsoleShutdown);
    std::unique_lock<std::mutex> lock(mutex_);
    stopped_changed_.wait_for(lock, kOrderlyStopLimit, [this] { return stopped_; });
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    if (message == WM_NCCREATE) {
      const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(l_param);
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<SessionEndWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
      case WM_QUERYENDSESSION:
        return TRUE;
      case WM_ENDSESSION:
        if (w_param != FALSE && self != nullptr) {
          self->OnEndSession(l_param);
        }
        return 0;
      case kStopMessage:
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
      case WM_CLOSE:
        // Whoever closes top-level windows does not end the watch; the host's stop does.
        return 0;
      default:
        return DefWindowProcW(window, message, w_param, l_param);
    }
  }

  std::thread thread_;
  HWND window_ = nullptr;
  std::mutex mutex_;
  std::condition_variable stopped_changed_;
  bool stopped_ = false;
};

// Never destroyed: a console close ends the process without the watch being stopped.
SessionEndWindow& TheSessionEndWindow() {
  static auto* window = new SessionEndWindow;
  return *window;
}

}  // namespace

void InstallConsoleEventHandler(ConsoleEventHandler handler) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handler = std::move(handler);
  }
  SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
  TheSessionEndWindow().Start();
}

void RemoveConsoleEventHandler() {
  TheSessionEndWindow().Stop();
  SetConsoleCtrlHandler(ConsoleControlHandler, FALSE);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_handler = nullptr;
}

void DetachFromConsole() {
  HWND console = GetConsoleWindow();
  if (console != nullptr && IsWindow(console)) {
    ShowWindow(console, SW_HIDE);
  }
  FreeConsole();
}

RelaunchResult RelaunchDetached(const std::vector<std::string>& arguments) {
  uint32_t path_error = 0;
  const std::wstring path = CurrentExecutablePath(&path_error).wstring();
  if (path.empty()) {
    return {RelaunchResult::Outcome::kPathLookupFailed, path_error};
  }
  std::wstring command_line = L"\"" + path + L"\"";
  for (const std::string& argument : arguments) {
    command_line += L" " + std::wstring(argument.begin(), argument.end());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  constexpr DWORD kDetachedNoWindow =
      DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW;
  if (!CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE, kDetachedNoWindow,
                      nullptr, nullptr, &startup, &process)) {
    return {RelaunchResult::Outcome::kStartFailed, GetLastError()};
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {};
}

}  // namespace orvane
