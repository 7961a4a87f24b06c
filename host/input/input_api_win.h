#pragma once

#include <windows.h>

#include <functional>
#include <optional>

namespace orvane {

// HSYNTHETICPOINTERDEVICE, which the headers declare only for Windows 10 1809 and later.
using SyntheticPointerDevice = HANDLE;

// Every Win32 call the Windows input sink makes, as one table: the system's functions in
// the host, fakes that hold to Microsoft's documented contracts in tests. The touch and
// pen functions are empty where user32 lacks them.
struct WindowsInputApi {
  std::function<BOOL(UINT32 max_count, DWORD feedback)> initialize_touch_injection;
  std::function<BOOL(UINT32 count, const POINTER_TOUCH_INFO* contacts)> inject_touch_input;
  std::function<SyntheticPointerDevice(POINTER_INPUT_TYPE type, ULONG max_count,
                                       POINTER_FEEDBACK_MODE mode)>
      create_synthetic_pointer_device;
  std::function<BOOL(SyntheticPointerDevice device, const POINTER_TYPE_INFO* info, UINT32 count)>
      inject_synthetic_pointer_input;
  std::function<void(SyntheticPointerDevice device)> destroy_synthetic_pointer_device;

  std::function<UINT(UINT count, INPUT* inputs, int size)> send_input;
  std::function<UINT(UINT code, UINT map_type)> map_virtual_key;
  // The mandatory integrity level (SECURITY_MANDATORY_*_RID) of this process and of the
  // process that owns the foreground window; nullopt when it cannot be read.
  std::function<std::optional<DWORD>()> own_integrity;
  std::function<std::optional<DWORD>()> foreground_integrity;

  std::function<BOOL(HDC dc, const RECT* clip, MONITORENUMPROC visit, LPARAM data)>
      enum_display_monitors;
  std::function<BOOL(HMONITOR monitor, MONITORINFO* info)> get_monitor_info;
  std::function<int(int index)> get_system_metrics;

  // The running system's functions; logs nothing.
  static WindowsInputApi System();
};

}  // namespace orvane
