#include "services/clipboard_backend_win.h"

#include <cstring>

#include "base/logger.h"
#include "services/png_bitmap_gdiplus.h"

namespace orvane {
namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneClipWnd";
// Programs hold the clipboard open for a moment while they read or write it.
constexpr int kOpenAttempts = 40;
constexpr DWORD kOpenRetryMs = 25;
constexpr UINT_PTR kReadRetryTimer = 1;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t BigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

// The length of the PNG file at the start of `bytes`, up to the end of its IEND chunk;
// 0 when they hold none. Clipboard memory may be larger than what was placed in it.
size_t PngFileLength(const uint8_t* bytes, size_t size) {
  if (size < sizeof(kPngSignature) || std::memcmp(bytes, kPngSignature, 8) != 0) {
    return 0;
  }
  size_t offset = sizeof(kPngSignature);
  // Each chunk: length, type, data, CRC.
  while (size - offset >= 12) {
    const uint32_t length = BigEndian32(bytes + offset);
    if (length > size - offset - 12) {
      return 0;
    }
    const size_t end = offset + 12 + length;
    if (std::memcmp(bytes + offset + 4, "IEND", 4) == 0) {
      return end;
    }
    offset = end;
  }
  return 0;
}

// Global memory holding `bytes`, for the clipboard to own; nullptr when none can be had.
HGLOBAL GlobalCopy(const void* bytes, size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  void* target = memory != nullptr ? GlobalLock(memory) : nullptr;
  if (target == nullptr) {
    if (memory != nullptr) {
      GlobalFree(memory);
    }
    return nullptr;
  }
  std::memcpy(target, bytes, size);
  GlobalUnlock(memory);
  return memory;
}

// The window procedure reaches the running backend through this.
std::atomic<WindowsClipboardBackend*> g_running_backend{nullptr};

}  // namespace

WindowsClipboardBackend::WindowsClipboardBackend(OpenClipboardCall open_clipboard)
    : open_clipboard_(std::move(open_clipboard)), png_format_(RegisterClipboardFormatW(L"PNG")) {}

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
  WindowsClipboardBackend* backend = g_running_backend.load();
  if (message == WM_TIMER && wparam == kReadRetryTimer) {
    KillTimer(window, kReadRetryTimer);
    if (backend != nullptr) {
      backend->ReadClipboard();
    }
    return 0;
  }
  if (message != WM_CLIPBOARDUPDATE) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  if (backend != nullptr) {
    backend->read_attempts_ = 0;
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

bool WindowsClipboardBackend::OpenPatiently() const {
  for (int attempt = 1;; ++attempt) {
    if (open_clipboard_(window_.load())) {
      return true;
    }
    if (attempt == kOpenAttempts) {
      return false;
    }
    Sleep(kOpenRetryMs);
  }
}

// The image as the program that placed it encoded it, transparency included.
bool WindowsClipboardBackend::ReadPng(std::vector<uint8_t>& png) const {
  if (png_format_ == 0 || !IsClipboardFormatAvailable(png_format_)) {
    return false;
  }
  HANDLE memory = GetClipboardData(png_format_);
  const auto* bytes = memory != nullptr ? static_cast<const uint8_t*>(GlobalLock(memory)) : nullptr;
  if (bytes == nullptr) {
    return false;
  }
  const size_t length = PngFileLength(bytes, GlobalSize(memory));
  png.assign(bytes, bytes + length);
  GlobalUnlock(memory);
  return length != 0;
}

void WindowsClipboardBackend::ReadClipboard() {
  if (!open_clipboard_(window_.load())) {
    // The change is read once the other program has let the clipboard go; the window
    // keeps serving its messages meanwhile.
    if (++read_attempts_ < kOpenAttempts) {
      SetTimer(window_.load(), kReadRetryTimer, kOpenRetryMs, nullptr);
    } else {
      LOG_WARN("[Clipboard] OpenClipboard failed while reading: 0x%08lX",
               static_cast<unsigned long>(GetLastError()));
    }
    return;
  }
  KillTimer(window_.load(), kReadRetryTimer);
  // A program that changed the clipboard again while the backend waited for it has sent
  // another notification; what is read now covers it.
  last_sequence_ = GetClipboardSequenceNumber();
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
  if (ReadPng(data.image)) {
    data.has_image = true;
    data.mime_type = kPngMimeType;
  } else if (IsClipboardFormatAvailable(CF_BITMAP)) {
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
  if (!OpenPatiently()) {
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
  HGLOBAL png_memory = png_format_ != 0 ? GlobalCopy(png.data(), png.size()) : nullptr;
  if (!OpenPatiently()) {
    DeleteObject(bitmap);
    if (png_memory != nullptr) {
      GlobalFree(png_memory);
    }
    LOG_WARN("[Clipboard] OpenClipboard failed while setting image");
    return false;
  }
  EmptyClipboard();
  // Formats are offered in the order they are set, the richest first. On success the
  // clipboard owns what it was given.
  const bool png_placed =
      png_memory != nullptr && SetClipboardData(png_format_, png_memory) != nullptr;
  if (png_memory != nullptr && !png_placed) {
    GlobalFree(png_memory);
  }
  const bool bitmap_placed = SetClipboardData(CF_BITMAP, bitmap) != nullptr;
  if (!bitmap_placed) {
    DeleteObject(bitmap);
  }
  CloseClipboard();
  return png_placed || bitmap_placed;
}

}  // namespace orvane
