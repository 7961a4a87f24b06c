#pragma once

#include <windows.h>

#include <d3d11.h>

#include <vector>

#include "platform/com_ref_win.h"
#include "video/captured_frame.h"
#include "video/nv12_converter.h"

namespace orvane {

// A Direct3D 11 device with BGRA support on `adapter`; with no adapter, a hardware device,
// or WARP when there is none. Returns the HRESULT of the last attempt.
HRESULT CreateBgraCaptureDevice(IDXGIAdapter* adapter, ComRef<ID3D11Device>& device,
                                ComRef<ID3D11DeviceContext>& context);

// The CPU-readable copy of a captured GPU texture. It stays mapped until the next copy or
// its release, so the frame it describes stays readable in between.
class StagingReadback {
 public:
  // Makes sure the staging texture matches the source's size and format. `created` tells
  // whether a new texture was made.
  HRESULT Ensure(ID3D11Device& device, const D3D11_TEXTURE2D_DESC& source, bool& created);
  void Copy(ID3D11DeviceContext& context, ID3D11Texture2D& source);
  // Copies only `rects` of the source; the rest keeps the previous copy.
  void CopyRects(ID3D11DeviceContext& context, ID3D11Texture2D& source,
                 const std::vector<PixelRect>& rects);
  // Maps the copy; fills data, row_pitch, width, height and data_size of `frame`.
  HRESULT Map(ID3D11DeviceContext& context, CapturedFrame& frame);
  void Unmap(ID3D11DeviceContext* context);
  void Release(ID3D11DeviceContext* context);

 private:
  ComRef<ID3D11Texture2D> texture_;
  D3D11_TEXTURE2D_DESC desc_{};
  bool mapped_ = false;
};

}  // namespace orvane
