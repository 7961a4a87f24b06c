#pragma once

#include <functional>

#include "platform/com_ref_win.h"
#include "video/graphics_capture_abi_wgc.h"

namespace orvane {

// The Windows.Graphics.Capture activation factories this process uses, each obtained once
// and kept for the life of the process; a failed lookup is tried again on the next call.
HRESULT GraphicsCaptureItemInterop(ComRef<wgc_abi::IGraphicsCaptureItemInterop>& factory);
HRESULT CaptureFramePoolStatics(ComRef<wgc_abi::IDirect3D11CaptureFramePoolStatics2>& factory);

// Whether this system can capture with Windows.Graphics.Capture at all
// (GraphicsCaptureSession.IsSupported): S_OK, the error of a missing runtime class, or
// E_NOTIMPL when the system says it cannot. Nothing else of the capture path may be
// called before this says yes: some systems export the Direct3D interop only as a stub
// that ends the process.
HRESULT GraphicsCaptureSupport();

// GraphicsCaptureAccess, which Windows before build 20348 lacks.
HRESULT GraphicsCaptureAccessStatics(ComRef<wgc_abi::IGraphicsCaptureAccessStatics>& factory);

// Every Windows Runtime entry point the capturer starts from: the system's in the host,
// fakes that keep Windows' documented rules in tests. All else it reaches through the
// objects these hand out.
struct GraphicsCaptureRuntime {
  std::function<HRESULT()> support;
  std::function<HRESULT(ComRef<wgc_abi::IGraphicsCaptureItemInterop>&)> item_interop;
  std::function<HRESULT(ComRef<wgc_abi::IDirect3D11CaptureFramePoolStatics2>&)> frame_pools;
  std::function<HRESULT(ComRef<wgc_abi::IGraphicsCaptureAccessStatics>&)> access;
  // CreateDirect3D11DeviceFromDXGIDevice.
  std::function<HRESULT(IDXGIDevice*, ComRef<IInspectable>&)> direct3d_device;

  static GraphicsCaptureRuntime System();
};

}  // namespace orvane
