#include "video/capture_texture_d3d11.h"

#include <vector>

namespace orvane {

HRESULT CreateBgraCaptureDevice(IDXGIAdapter* adapter, ComRef<ID3D11Device>& device,
                                ComRef<ID3D11DeviceContext>& context) {
  // A device on a given adapter takes no driver type of its own.
  const std::vector<D3D_DRIVER_TYPE> drivers =
      adapter != nullptr
          ? std::vector<D3D_DRIVER_TYPE>{D3D_DRIVER_TYPE_UNKNOWN}
          : std::vector<D3D_DRIVER_TYPE>{D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP};
  HRESULT hr = E_FAIL;
  for (const D3D_DRIVER_TYPE driver : drivers) {
    hr = D3D11CreateDevice(adapter, driver, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                           D3D11_SDK_VERSION, device.Put(), nullptr, context.Put());
    if (SUCCEEDED(hr) && device && context) {
      return hr;
    }
    device.Reset();
    context.Reset();
  }
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT StagingReadback::Ensure(ID3D11Device& device, const D3D11_TEXTURE2D_DESC& source,
                                bool& created) {
  created = false;
  if (texture_ && desc_.Width == source.Width && desc_.Height == source.Height &&
      desc_.Format == source.Format) {
    return S_OK;
  }
  texture_.Reset();
  desc_ = {};
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = source.Width;
  desc.Height = source.Height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = source.Format;
  desc.SampleDesc = {1, 0};
  desc.Usage = D3D11_USAGE_STAGING;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  const HRESULT hr = device.CreateTexture2D(&desc, nullptr, texture_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  desc_ = desc;
  created = true;
  return hr;
}

void StagingReadback::Copy(ID3D11DeviceContext& context, ID3D11Texture2D& source) {
  context.CopyResource(texture_.get(), &source);
}

void StagingReadback::CopyRects(ID3D11DeviceContext& context, ID3D11Texture2D& source,
                                const std::vector<PixelRect>& rects) {
  for (const PixelRect& rect : rects) {
    const D3D11_BOX box{rect.x, rect.y, 0, rect.x + rect.width, rect.y + rect.height, 1};
    context.CopySubresourceRegion(texture_.get(), 0, rect.x, rect.y, 0, &source, 0, &box);
  }
}

HRESULT StagingReadback::Map(ID3D11DeviceContext& context, CapturedFrame& frame) {
  D3D11_MAPPED_SUBRESOURCE mapping{};
  const HRESULT hr = context.Map(texture_.get(), 0, D3D11_MAP_READ, 0, &mapping);
  if (FAILED(hr)) {
    return hr;
  }
  mapped_ = true;
  frame.data = static_cast<const uint8_t*>(mapping.pData);
  frame.row_pitch = mapping.RowPitch;
  frame.width = desc_.Width;
  frame.height = desc_.Height;
  frame.data_size = size_t{mapping.RowPitch} * desc_.Height;
  return hr;
}

void StagingReadback::Unmap(ID3D11DeviceContext* context) {
  if (mapped_ && context != nullptr) {
    context->Unmap(texture_.get(), 0);
  }
  mapped_ = false;
}

void StagingReadback::Release(ID3D11DeviceContext* context) {
  Unmap(context);
  texture_.Reset();
  desc_ = {};
}

}  // namespace orvane
