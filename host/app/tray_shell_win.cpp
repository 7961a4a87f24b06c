#include "app/tray_shell_win.h"

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "base/logger.h"

namespace orvane {
namespace {

constexpr UINT kIconId = 1;
constexpr UINT kIconCallbackMessage = WM_USER + 100;
// Ends the tray thread, closing the icon's menu first if it is open: the menu's own
// message loop would not end on WM_QUIT.
constexpr UINT kStopMessage = WM_USER + 101;
constexpr WORD kIconResource = 101;
constexpr const wchar_t* kWindowClass = L"OrvaneTrayWnd";
// While the notification area refuses the icon (Explorer not started yet, or busy), the
// icon is offered again this often.
constexpr UINT_PTR kAddRetryTimer = 1;
constexpr UINT kAddRetryMs = 1000;

std::wstring Wide(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// Copies `text` into a fixed shell buffer, cut to fit with its terminator.
template <size_t N>
void CopyCut(wchar_t (&buffer)[N], const std::string& text) {
  const std::wstring wide = Wide(text);
  const size_t length = wide.size() < N - 1 ? wide.size() : N - 1;
  wide.copy(buffer, length);
  buffer[length] = L'\0';
}

HMENU BuildMenu(const std::vector<TrayMenuItem>& items) {
  HMENU menu = CreatePopupMenu();
  for (const TrayMenuItem& item : items) {
    const std::wstring text = Wide(item.text);
    switch (item.kind) {
      case TrayMenuItem::Kind::kSeparator:
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        break;
      case TrayMenuItem::Kind::kSubmenu:
        AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(BuildMenu(item.children)),
                    text.c_str());
        break;
      case TrayMenuItem::Kind::kCommand:
        AppendMenuW(menu,
                    MF_STRING | (item.enabled ? 0u : MF_GRAYED) | (item.checked ? MF_CHECKED : 0u),
                    item.id, text.c_str());
        break;
    }
  }
  return menu;
}

// The tray as a notification-area icon owned by a hidden top-level window on the tray
// thread, which receives the icon's mouse messages and the menu's commands. The window is
// top-level, not message-only, for two reasons: only top-level windows hear the
// "TaskbarCreated" broadcast of a restarted Explorer, and only they can be brought to the
// foreground, without which the icon's menu stays open when the user clicks elsewhere.
class WindowsTrayShell : public TrayShell {
 public:
  explicit WindowsTrayShell(NotifyIconCall notify_icon) : notify_icon_(std::move(notify_icon)) {}
  ~WindowsTrayShell() override { Stop(); }

  void Start(TrayModel& model) override;
  void Stop() override;
  void RefreshTooltip() override;
  void ShowNotification(const std::string& title, const std::string& text) override;

 private:
  void Run(std::promise<void>& ready);
  bool CreateIcon(HINSTANCE instance);
  // Offers the icon to the notification area; on refusal, tries again on a timer.
  void AddIcon(HWND window);
  void ShowMenu(HWND window);
  NOTIFYICONDATAW IconRecord(HWND window) const;
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);

  const NotifyIconCall notify_icon_;
  const UINT taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  TrayModel* model_ = nullptr;
  std::thread thread_;
  std::atomic<HWND> window_{nullptr};
  HICON icon_ = nullptr;
  bool owns_icon_ = false;
  // Tray thread only.
  bool add_refused_ = false;
};

NOTIFYICONDATAW WindowsTrayShell::IconRecord(HWND window) const {
  NOTIFYICONDATAW record{};
  record.cbSize = sizeof(record);
  record.hWnd = window;
  record.uID = kIconId;
  return record;
}

void WindowsTrayShell::Start(TrayModel& model) {
  if (thread_.joinable()) {
    return;
  }
  model_ = &model;
  std::promise<void> ready;
  std::future<void> started = ready.get_future();
  thread_ = std::thread([this, &ready] { Run(ready); });
  started.wait();
}

void WindowsTrayShell::Stop() {
  if (!thread_.joinable()) {
    return;
  }
  if (HWND window = window_.load()) {
    PostMessageW(window, kStopMessage, 0, 0);
  }
  thread_.join();
}

void WindowsTrayShell::RefreshTooltip() {
  HWND window = window_.load();
  if (window == nullptr) {
    return;
  }
  NOTIFYICONDATAW record = IconRecord(window);
  record.uFlags = NIF_TIP | NIF_SHOWTIP;
  CopyCut(record.szTip, model_->Tooltip());
  notify_icon_(NIM_MODIFY, &record);
}

void WindowsTrayShell::ShowNotification(const std::string& title, const std::string& text) {
  HWND window = window_.load();
  if (window == nullptr) {
    return;
  }
  NOTIFYICONDATAW record = IconRecord(window);
  record.uFlags = NIF_INFO;
  record.dwInfoFlags = NIIF_INFO;
  CopyCut(record.szInfoTitle, title);
  CopyCut(record.szInfo, text);
  notify_icon_(NIM_MODIFY, &record);
}

void WindowsTrayShell::Run(std::promise<void>& ready) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  // Never shown; a tool window, so that it has no taskbar button should anything show it.
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Orvane Display", WS_POPUP, 0, 0,
                                0, 0, nullptr, nullptr, instance, this);
  if (window == nullptr) {
    LOG_ERROR("[Tray] CreateWindow failed: 0x%08lX", static_cast<unsigned long>(GetLastError()));
    ready.set_value();
    return;
  }
  // An elevated host still hears Explorer, which runs at medium integrity.
  ChangeWindowMessageFilterEx(window, taskbar_created_, MSGFLT_ALLOW, nullptr);
  CreateIcon(instance);
  AddIcon(window);
  window_.store(window);
  ready.set_value();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  window_.store(nullptr);
  NOTIFYICONDATAW removal = IconRecord(window);
  notify_icon_(NIM_DELETE, &removal);
  if (owns_icon_) {
    DestroyIcon(icon_);
  }
  icon_ = nullptr;
  DestroyWindow(window);
}

bool WindowsTrayShell::CreateIcon(HINSTANCE instance) {
  const int width = GetSystemMetrics(SM_CXSMICON);
  const int height = GetSystemMetrics(SM_CYSMICON);
  icon_ = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, width, height, 0));
  owns_icon_ = icon_ != nullptr;
  if (icon_ == nullptr) {
    // System icons are shared: never destroyed by their user.
    icon_ = static_cast<HICON>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, width, height, LR_SHARED));
  }
  if (icon_ == nullptr) {
    icon_ = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
    LOG_WARN("[Tray] Custom icon not found, using default");
  }
  return icon_ != nullptr;
}

void WindowsTrayShell::AddIcon(HWND window) {
  KillTimer(window, kAddRetryTimer);
  NOTIFYICONDATAW record = IconRecord(window);
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
  record.uCallbackMessage = kIconCallbackMessage;
  record.hIcon = icon_;
  CopyCut(record.szTip, model_->Tooltip());
  record.uVersion = NOTIFYICON_VERSION_4;
  // "TaskbarCreated" also comes when the notification area kept its icons (a change of
  // display scale): then the icon is still there and only takes the new record.
  if (!notify_icon_(NIM_ADD, &record)) {
    const DWORD error = GetLastError();
    if (!notify_icon_(NIM_MODIFY, &record)) {
      if (!add_refused_) {
        add_refused_ = true;
        LOG_WARN("[Tray] Shell_NotifyIcon(NIM_ADD) failed: 0x%08lX -- retrying",
                 static_cast<unsigned long>(error));
      }
      SetTimer(window, kAddRetryTimer, kAddRetryMs, nullptr);
      return;
    }
  }
  add_refused_ = false;
  notify_icon_(NIM_SETVERSION, &record);
  LOG_INFO("[Tray] System tray icon created");
}

void WindowsTrayShell::ShowMenu(HWND window) {
  HMENU menu = BuildMenu(model_->Menu());
  POINT cursor{};
  GetCursorPos(&cursor);
  // The menu closes when its owner loses the foreground; the message after it lets the
  // next click on the icon open it again at once.
  SetForegroundWindow(window);
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
  PostMessageW(window, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

LRESULT CALLBACK WindowsTrayShell::WindowProc(HWND window, UINT message, WPARAM w_param,
                                              LPARAM l_param) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(l_param);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* shell = reinterpret_cast<WindowsTrayShell*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (shell == nullptr) {
    return DefWindowProcW(window, message, w_param, l_param);
  }
  if (message == shell->taskbar_created_) {
    // Explorer started again, with an empty notification area.
    shell->AddIcon(window);
    return 0;
  }
  switch (message) {
    case kStopMessage:
      EndMenu();
      PostQuitMessage(0);
      return 0;
    case WM_TIMER:
      if (w_param == kAddRetryTimer) {
        shell->AddIcon(window);
      }
      return 0;
    case WM_CLOSE:
      // A top-level window is sent WM_CLOSE by whoever asks the program to end; the tray
      // lives as long as the host does, which Stop ends.
      return 0;
    case kIconCallbackMessage:
      switch (LOWORD(l_param)) {
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
          shell->ShowMenu(window);
          break;
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
          shell->model_->Activate();
          break;
        default:
          break;
      }
      return 0;
    case WM_COMMAND:
      shell->model_->HandleCommand(LOWORD(w_param));
      return 0;
    default:
      return DefWindowProcW(window, message, w_param, l_param);
  }
}

}  // namespace

std::unique_ptr<TrayShell> CreateWindowsTrayShell(NotifyIconCall notify_icon) {
  return std::make_unique<WindowsTrayShell>(std::move(notify_icon));
}

std::unique_ptr<TrayShell> CreateTrayShell() {
  return CreateWindowsTrayShell(Shell_NotifyIconW);
}

}  // namespace orvane
