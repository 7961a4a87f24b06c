#pragma once

#include <windows.h>

#include <d3d11.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <functional>

#include "platform/com_ref_win.h"

namespace orvane {

// The system calls Desktop Duplication starts from, as one table: the system's functions
// in the host, fakes that hold to Microsoft's documented contracts in tests. Everything
// else it calls goes through the interfaces these hand out.
struct DuplicationApi {
  // CreateDXGIFactory1: the factory whose adapters and outputs are walked.
  std::function<HRESULT(ComRef<IDXGIFactory1>& factory)> create_factory;
  // A Direct3D 11 device with BGRA support on `adapter`, or, with no adapter, on the
  // default hardware adapter and else WARP.
  std::function<HRESULT(IDXGIAdapter* adapter, ComRef<ID3D11Device>& device,
                        ComRef<ID3D11DeviceContext>& context)>
      create_device;
  // The monitor at `index` in EnumDisplayMonitors order, or null.
  std::function<HMONITOR(uint32_t index)> monitor_at_index;
  // Whether the desktop that receives input is this thread's desktop; not while the
  // secure desktop or the lock screen has the input.
  std::function<bool()> input_desktop_is_current;
  // A millisecond tick count.
  std::function<uint64_t()> tick_ms;

  // The running system's functions; logs nothing.
  static DuplicationApi System();
};

}  // namespace orvane
