#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "services/clipboard_backend.h"

namespace orvane {

// How the backend opens the clipboard: OpenClipboard in the host, a stand-in that makes
// another program hold it in tests.
using OpenClipboardCall = std::function<BOOL(HWND owner)>;

// The Win32 clipboard, watched from a message-only window on a thread of its own:
// Unicode text, and images as PNG, in the registered "PNG" format (which keeps
// transparency) beside a bitmap converted through GDI+. One runs per process.
class WindowsClipboardBackend : public ClipboardBackend {
 public:
  explicit WindowsClipboardBackend(OpenClipboardCall open_clipboard = OpenClipboard);
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
  bool ReadPng(std::vector<uint8_t>& png) const;
  // Opens the clipboard for the backend's window, waiting a little while another program
  // holds it open.
  bool OpenPatiently() const;

  const OpenClipboardCall open_clipboard_;
  const UINT png_format_;

  std::atomic<HWND> window_{nullptr};
  ChangeCallback on_change_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  // Window thread only.
  DWORD last_sequence_ = 0;
  int read_attempts_ = 0;
};

}  // namespace orvane
