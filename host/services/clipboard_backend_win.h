#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "services/clipboard_backend.h"

namespace orvane {

// The Win32 clipboard, watched from a message-only window on a thread of its own:
// Unicode text, and bitmaps exchanged as PNG through GDI+. One runs per process.
class WindowsClipboardBackend : public ClipboardBackend {
 public:
  WindowsClipboardBackend() = default;
  ~WindowsClipboardBackend() override;

  bool Start(ChangeCallback on_change) override;
  void Stop() override;
  bool SetText(const std::string& text) override;
  bool SetImage(const std::vector<uint8_t>& png) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Run();
  void OnClipboardUpdate();
  void ReadClipboard();

  std::atomic<HWND> window_{nullptr};
  ChangeCallback on_change_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  // Window thread only.
  DWORD last_sequence_ = 0;
};

}  // namespace orvane
