#include "services/clipboard_backend_win.h"

#include <cstring>

#include "base/logger.h"
#include "services/png_bitmap_gdiplus.h"

namespace orvane {
namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneClipWnd";

// The window procedure reaches the running backend through this.
std::atomic<WindowsClipboardBackend*> g_running_backend{nullptr};

}  // namespace

WindowsClipboardBackend::~WindowsClipboardBackend() {
  Stop();
}

bool WindowsClipboardBackend::Start(ChangeCallback on_change) {
  Stop();
  on_change_ = std::move(on_change);
  g_running_backend.store(this);
  running_.store(true);
  thread_ = std::thread(&WindowsClipboardBackend::Run, this);
  return true;
}

void WindowsClipboardBackend::Stop() {
  running_.store(false);
  if (HWND window = window_.load()) {
    PostMessageA(window, WM_QUIT, 0, 0);
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  WindowsClipboardBackend* self = this;
  g_running_backend.compare_exchange_strong(self, nullptr);
}

void WindowsClipboardBackend::Run() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) {
    LOG_ERROR("[Clipboard] CreateWindow failed");
    return;
  }
  window_.store(window);
  AddClipboardFormatListener(window);
  last_sequence_ = GetClipboardSequenceNumber();
  LOG_INFO("[Clipboard] Monitoring started");
  MSG message;
  // A Stop that came before the window existed posted no WM_QUIT.
  while (running_.load() && GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  RemoveClipboardFormatListener(window);
  DestroyWindow(window);
  window_.store(nullptr);
}

LRESULT CALLBACK WindowsClipboardBackend::WindowProc(HWND window, UINT message, WPARAM wparam,
                                                     LPARAM lparam) {
  if (message != WM_CLIPBOARDUPDATE) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  if (WindowsClipboardBackend* backend = g_running_backend.load()) {
    backend->OnClipboardUpdate();
  }
  return 0;
}

void WindowsClipboardBackend::OnClipboardUpdate() {
  const DWORD sequence = GetClipboardSequenceNumber();
  if (sequence == last_sequence_) {
    return;
  }
  last_sequence_ = sequence;
  // What SetText and SetImage placed (the opening window owns the clipboard then) is not
  // a change of the user's.
  if (GetClipboardOwner() == window_.load()) {
    return;
  }
  ReadClipboard();
}

void WindowsClipboardBackend::ReadClipboard() {
  if (!OpenClipboard(window_.load())) {
    return;
  }
  ClipboardData data;
  if (HANDLE text = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(text))) {
      const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
      if (size > 1) {
        data.text.resize(static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, data.text.data(), size, nullptr, nullptr);
        data.text.resize(static_cast<size_t>(size - 1));
        data.has_text = true;
      }
      GlobalUnlock(text);
    }
  }
  if (IsClipboardFormatAvailable(CF_BITMAP)) {
    const auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    if (EncodeBitmapAsPng(bitmap, data.image)) {
      data.has_image = true;
      data.mime_type = kPngMimeType;
    }
  }
  CloseClipboard();
  if ((data.has_text || data.has_image) && on_change_) {
    on_change_(data);
  }
}

bool WindowsClipboardBackend::SetText(const std::string& text) {
  if (text.empty()) {
    return false;
  }
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) {
    return false;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) * sizeof(wchar_t));
  if (memory == nullptr) {
    return false;
  }
  auto* wide = static_cast<wchar_t*>(GlobalLock(memory));
  if (wide == nullptr) {
    GlobalFree(memory);
    return false;
  }
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide, length);
  GlobalUnlock(memory);
  if (!OpenClipboard(window_.load())) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  // On success the clipboard owns the memory.
  const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  CloseClipboard();
  if (!placed) {
    GlobalFree(memory);
  }
  return placed;
}

bool WindowsClipboardBackend::SetImage(const std::vector<uint8_t>& png) {
  if (png.empty()) {
    return false;
  }
  HBITMAP bitmap = DecodePngAsBitmap(png);
  if (bitmap == nullptr) {
    LOG_WARN("[Clipboard] Failed to decode PNG clipboard payload (bytes=%u)",
             static_cast<unsigned>(png.size()));
    return false;
  }
  if (!OpenClipboard(window_.load())) {
    DeleteObject(bitmap);
    LOG_WARN("[Clipboard] OpenClipboard failed while setting image");
    return false;
  }
  EmptyClipboard();
  const bool placed = SetClipboardData(CF_BITMAP, bitmap) != nullptr;
  CloseClipboard();
  if (!placed) {
    DeleteObject(bitmap);
  }
  return placed;
}

}  // namespace orvane
