#include "video/duplication_api_dxgi.h"

#include <cwchar>

#include "video/capture_texture_d3d11.h"
#include "video/display_monitors_win.h"

namespace orvane {
namespace {

bool DesktopName(HDESK desktop, wchar_t (&name)[256]) {
  DWORD needed = 0;
  return desktop != nullptr &&
         GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof(name), &needed) != FALSE;
}

bool InputDesktopIsCurrent() {
  // A process that may not read the input desktop (the secure desktop, the lock screen)
  // cannot open it at all.
  HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (input == nullptr) {
    return false;
  }
  wchar_t input_name[256] = {};
  wchar_t own_name[256] = {};
  const bool same = DesktopName(input, input_name) &&
                    DesktopName(GetThreadDesktop(GetCurrentThreadId()), own_name) &&
                    std::wcscmp(input_name, own_name) == 0;
  CloseDesktop(input);
  return same;
}

}  // namespace

DuplicationApi DuplicationApi::System() {
  DuplicationApi api;
  api.create_factory = [](ComRef<IDXGIFactory1>& factory) {
    return CreateDXGIFactory1(__uuidof(IDXGIFactory1), factory.PutVoid());
  };
  api.create_device = [](IDXGIAdapter* adapter, ComRef<ID3D11Device>& device,
                         ComRef<ID3D11DeviceContext>& context) {
    return CreateBgraCaptureDevice(adapter, device, context);
  };
  api.monitor_at_index = MonitorAtIndex;
  api.input_desktop_is_current = InputDesktopIsCurrent;
  api.tick_ms = [] { return static_cast<uint64_t>(GetTickCount64()); };
  return api;
}

}  // namespace orvane
