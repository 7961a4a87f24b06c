#pragma once

#include <windows.h>

#include <d3d11.h>

#include <cstdint>

#include "platform/com_ref_win.h"
#include "video/frame_rotation.h"

namespace orvane {

// Turns BGRA textures upright on the GPU with the Direct3D 11 video processor of the
// capture device, where it has one that rotates; otherwise the caller turns the mapped
// copy on the CPU.
class D3d11FrameRotator {
 public:
  D3d11FrameRotator() = default;
  D3d11FrameRotator(const D3d11FrameRotator&) = delete;
  D3d11FrameRotator& operator=(const D3d11FrameRotator&) = delete;

  // The upright copy of `source` (valid until the next call), or null when the device
  // cannot make it; `error` then holds the failing call's HRESULT. The video processor is
  // set up on first use and again whenever the source's size changes.
  ID3D11Texture2D* Rotate(ID3D11Device& device, ID3D11DeviceContext& context,
                          FrameRotation rotation, ID3D11Texture2D& source, HRESULT& error);
  void Release();

 private:
  HRESULT Prepare(ID3D11Device& device, FrameRotation rotation, uint32_t width, uint32_t height);

  ComRef<ID3D11VideoDevice> video_device_;
  ComRef<ID3D11VideoContext> video_context_;
  ComRef<ID3D11VideoProcessorEnumerator> enumerator_;
  ComRef<ID3D11VideoProcessor> processor_;
  ComRef<ID3D11Texture2D> input_;
  ComRef<ID3D11Texture2D> output_;
  ComRef<ID3D11VideoProcessorInputView> input_view_;
  ComRef<ID3D11VideoProcessorOutputView> output_view_;
  RotationBlit blit_;
};

}  // namespace orvane
