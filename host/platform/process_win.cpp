#include "platform/process.h"

#include <windows.h>

#include "base/utf8_path.h"

namespace orvane {

bool RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                uint32_t timeout_ms, uint32_t* exit_code) {
  if (exit_code != nullptr) {
    *exit_code = 1;
  }
  if (program.empty()) {
    return false;
  }
  std::wstring command_line = L"\"" + program.wstring() + L"\"";
  for (const std::string& argument : arguments) {
    command_line += L" " + PathFromUtf8(argument).wstring();
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return false;
  }
  const DWORD wait = WaitForSingleObject(process.hProcess, timeout_ms);
  if (wait == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 1);
  }
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  if (exit_code != nullptr) {
    *exit_code = code;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return wait == WAIT_OBJECT_0;
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(GetCurrentProcessId());
}

bool WaitForProcessExit(uint32_t pid, uint32_t timeout_ms) {
  if (pid == 0) {
    return true;
  }
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) {
    // No such process any more; one we may not watch is not taken for ended.
    return GetLastError() == ERROR_INVALID_PARAMETER;
  }
  const DWORD waited = WaitForSingleObject(process, timeout_ms);
  CloseHandle(process);
  return waited == WAIT_OBJECT_0;
}

std::filesystem::path CurrentExecutablePath(uint32_t* error) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    if (error != nullptr) {
      *error = GetLastError();
    }
    return {};
  }
  return std::filesystem::path(path);
}

std::filesystem::path FindOnSearchPath(const std::string& file_name) {
  const std::wstring wide_name = PathFromUtf8(file_name).wstring();
  wchar_t found[MAX_PATH] = {};
  const DWORD length = SearchPathW(nullptr, wide_name.c_str(), nullptr, MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    return {};
  }
  return std::filesystem::path(found);
}

}  // namespace orvane
