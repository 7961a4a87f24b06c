#include "input/input_api_win.h"

#include <cstring>
#include <vector>

namespace orvane {
namespace {

// user32 stays loaded for the life of the process; it is never freed.
HMODULE User32() {
  HMODULE module = GetModuleHandleW(L"user32.dll");
  return module != nullptr ? module : LoadLibraryW(L"user32.dll");
}

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  Function function = nullptr;
  if (module != nullptr) {
    const FARPROC address = GetProcAddress(module, name);
    static_assert(sizeof(function) == sizeof(address));
    std::memcpy(&function, &address, sizeof(function));
  }
  return function;
}

// Empty when the function is missing, so that the sink sees what the system lacks.
template <typename Signature, typename Function>
std::function<Signature> Wrap(Function function) {
  return function != nullptr ? std::function<Signature>(function) : std::function<Signature>();
}

std::optional<DWORD> ProcessIntegrity(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
    return std::nullopt;
  }
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  std::optional<DWORD> level;
  if (size != 0 &&
      GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size) != FALSE) {
    const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
    const UCHAR count = *GetSidSubAuthorityCount(label->Label.Sid);
    if (count > 0) {
      level = *GetSidSubAuthority(label->Label.Sid, count - 1u);
    }
  }
  CloseHandle(token);
  return level;
}

std::optional<DWORD> ForegroundIntegrity() {
  const HWND window = GetForegroundWindow();
  DWORD process_id = 0;
  if (window == nullptr || GetWindowThreadProcessId(window, &process_id) == 0) {
    return std::nullopt;
  }
  // Limited information may be asked of any process, also one that runs elevated.
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (process == nullptr) {
    return std::nullopt;
  }
  const std::optional<DWORD> level = ProcessIntegrity(process);
  CloseHandle(process);
  return level;
}

}  // namespace

WindowsInputApi WindowsInputApi::System() {
  using InitializeTouchInjectionFn = BOOL(WINAPI*)(UINT32, DWORD);
  using InjectTouchInputFn = BOOL(WINAPI*)(UINT32, const POINTER_TOUCH_INFO*);
  using CreateSyntheticPointerDeviceFn =
      SyntheticPointerDevice(WINAPI*)(POINTER_INPUT_TYPE, ULONG, POINTER_FEEDBACK_MODE);
  using InjectSyntheticPointerInputFn =
      BOOL(WINAPI*)(SyntheticPointerDevice, const POINTER_TYPE_INFO*, UINT32);
  using DestroySyntheticPointerDeviceFn = void(WINAPI*)(SyntheticPointerDevice);

  const HMODULE user32 = User32();
  WindowsInputApi api;
  api.initialize_touch_injection = Wrap<BOOL(UINT32, DWORD)>(
      Resolve<InitializeTouchInjectionFn>(user32, "InitializeTouchInjection"));
  api.inject_touch_input = Wrap<BOOL(UINT32, const POINTER_TOUCH_INFO*)>(
      Resolve<InjectTouchInputFn>(user32, "InjectTouchInput"));
  api.create_synthetic_pointer_device =
      Wrap<SyntheticPointerDevice(POINTER_INPUT_TYPE, ULONG, POINTER_FEEDBACK_MODE)>(
          Resolve<CreateSyntheticPointerDeviceFn>(user32, "CreateSyntheticPointerDevice"));
  api.inject_synthetic_pointer_input =
      Wrap<BOOL(SyntheticPointerDevice, const POINTER_TYPE_INFO*, UINT32)>(
          Resolve<InjectSyntheticPointerInputFn>(user32, "InjectSyntheticPointerInput"));
  api.destroy_synthetic_pointer_device = Wrap<void(SyntheticPointerDevice)>(
      Resolve<DestroySyntheticPointerDeviceFn>(user32, "DestroySyntheticPointerDevice"));
  api.send_input = [](UINT count, INPUT* inputs, int size) {
    return SendInput(count, inputs, size);
  };
  api.map_virtual_key = [](UINT code, UINT map_type) { return MapVirtualKeyW(code, map_type); };
  api.own_integrity = [] { return ProcessIntegrity(GetCurrentProcess()); };
  api.foreground_integrity = ForegroundIntegrity;
  api.enum_display_monitors = [](HDC dc, const RECT* clip, MONITORENUMPROC visit, LPARAM data) {
    return EnumDisplayMonitors(dc, clip, visit, data);
  };
  api.get_monitor_info = [](HMONITOR monitor, MONITORINFO* info) {
    return GetMonitorInfoW(monitor, info);
  };
  api.get_system_metrics = [](int index) { return GetSystemMetrics(index); };
  return api;
}

}  // namespace orvane
