#pragma once

#include "platform/com_ref_win.h"
#include "video/graphics_capture_abi_wgc.h"

namespace orvane {

// The Windows.Graphics.Capture activation factories this process uses, each obtained once
// and kept for the life of the process; a failed lookup is tried again on the next call.
HRESULT GraphicsCaptureItemInterop(ComRef<wgc_abi::IGraphicsCaptureItemInterop>& factory);
HRESULT CaptureFramePoolStatics(ComRef<wgc_abi::IDirect3D11CaptureFramePoolStatics2>& factory);

// Joins the multithreaded apartment once per process; a failure leaves it to a later call.
void JoinMultithreadedApartmentOnce();

// Whether this system can capture with Windows.Graphics.Capture at all
// (GraphicsCaptureSession.IsSupported); false when the runtime class is missing.
bool GraphicsCaptureSupported();

}  // namespace orvane
