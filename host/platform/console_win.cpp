#include "platform/console.h"

#include <windows.h>

#include <mutex>

#include "platform/process.h"

namespace orvane {
namespace {

std::mutex g_mutex;
ConsoleEventHandler g_handler;

BOOL WINAPI ConsoleControlHandler(DWORD event) {
  ConsoleEventHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_handler;
  }
  return handler && handler(event) ? TRUE : FALSE;
}

}  // namespace

void InstallConsoleEventHandler(ConsoleEventHandler handler) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handler = std::move(handler);
  }
  SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
}

void RemoveConsoleEventHandler() {
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
