#pragma once

#include <windows.h>

#include <d3d11.h>

#include <cstdint>
#include <vector>

#include "base/status.h"
#include "platform/com_ref_win.h"

namespace orvane {

// BGRA in system memory to packed NV12 in system memory with the Direct3D 11 video
// processor, on a device of its own: upload, one blit, a GPU copy and one mapped read.
// The textures follow the frame size.
class D3d11Nv12Converter {
 public:
  D3d11Nv12Converter() = default;
  D3d11Nv12Converter(const D3d11Nv12Converter&) = delete;
  D3d11Nv12Converter& operator=(const D3d11Nv12Converter&) = delete;

  bool Initialize(uint32_t width, uint32_t height, uint32_t fps);
  // Converts one frame into `out` (width × height × 3 / 2 bytes, rows packed).
  bool Convert(const uint8_t* data, uint32_t row_pitch, uint32_t width, uint32_t height,
               std::vector<uint8_t>& out);
  void Release();
  // Outcome of the last call: success, or code 7 with the failing call's HRESULT.
  const Status& status() const { return status_; }

 private:
  bool EnsureTextures(uint32_t width, uint32_t height);
  bool Blit(uint32_t width, uint32_t height);
  bool Fail(const char* message, HRESULT hr);

  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
  ComRef<ID3D11VideoDevice> video_device_;
  ComRef<ID3D11VideoContext> video_context_;
  ComRef<ID3D11VideoProcessorEnumerator> enumerator_;
  ComRef<ID3D11VideoProcessor> processor_;
  ComRef<ID3D11Texture2D> upload_texture_;
  ComRef<ID3D11Texture2D> nv12_texture_;
  ComRef<ID3D11Texture2D> readback_texture_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  Status status_;
};

}  // namespace orvane
