#include <windows.h>

#include <cstdio>

#include "app/host_console.h"
#include "base/logger.h"

namespace orvane {
namespace {

bool IsConsoleWindow(HWND console) {
  return console != nullptr && IsWindow(console);
}

}  // namespace

void ShowHostConsole() {
  HWND console = GetConsoleWindow();
  if (!IsConsoleWindow(console)) {
    if (!AllocConsole()) {
      LOG_WARN("[Main] AllocConsole failed while opening from tray: 0x%08lX",
               static_cast<unsigned long>(GetLastError()));
      return;
    }
    // The standard streams still point at the console freed in background mode.
    FILE* reopened = nullptr;
    freopen_s(&reopened, "CONOUT$", "w", stdout);
    freopen_s(&reopened, "CONOUT$", "w", stderr);
    freopen_s(&reopened, "CONIN$", "r", stdin);
    SetConsoleTitleW(L"Orvane Display Host");
    LOG_INFO("[Main] Console restored from tray");
    console = GetConsoleWindow();
    if (console == nullptr) {
      return;
    }
  }
  if (IsWindow(console)) {
    ShowWindow(console, SW_SHOW);
    ShowWindow(console, SW_RESTORE);
    SetForegroundWindow(console);
  }
}

}  // namespace orvane
