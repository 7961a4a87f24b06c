#pragma once

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

}  // namespace orvane
