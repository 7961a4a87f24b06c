#include "video/nv12_converter_d3d11.h"

#include "base/logger.h"
#include "video/encoder_input.h"
#include "video/nv12_colour.h"

namespace orvane {
namespace {

constexpr D3D_FEATURE_LEVEL kFeatureLevels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};

D3D11_TEXTURE2D_DESC TextureDesc(uint32_t width, uint32_t height, DXGI_FORMAT format,
                                 bool readback) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc = {1, 0};
  if (readback) {
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  } else {
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
  }
  return desc;
}

}  // namespace

bool D3d11Nv12Converter::Fail(const char* message, HRESULT hr) {
  status_ = Status::Failure(StatusCode::kResource, message, static_cast<uint32_t>(hr));
  return false;
}

void D3d11Nv12Converter::Release() {
  readback_texture_.Reset();
  nv12_texture_.Reset();
  upload_texture_.Reset();
  processor_.Reset();
  enumerator_.Reset();
  video_context_.Reset();
  video_device_.Reset();
  context_.Reset();
  device_.Reset();
  width_ = height_ = 0;
}

bool D3d11Nv12Converter::Initialize(uint32_t width, uint32_t height, uint32_t fps) {
  Release();
  D3D_FEATURE_LEVEL level{};
  HRESULT hr = D3D11CreateDevice(
      nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
      D3D11_CREATE_DEVICE_VIDEO_SUPPORT | D3D11_CREATE_DEVICE_BGRA_SUPPORT, kFeatureLevels,
      std::size(kFeatureLevels), D3D11_SDK_VERSION, device_.Put(), &level, context_.Put());
  if (FAILED(hr)) {
    device_.Reset();
    context_.Reset();
    hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                           kFeatureLevels, std::size(kFeatureLevels), D3D11_SDK_VERSION,
                           device_.Put(), &level, context_.Put());
  }
  if (FAILED(hr) || !device_ || !context_) {
    return Fail("Failed to create D3D11 device for BGRA->NV12 conversion",
                FAILED(hr) ? hr : E_FAIL);
  }
  hr = device_.QueryTo(__uuidof(ID3D11VideoDevice), video_device_);
  if (FAILED(hr)) {
    return Fail("Failed to query ID3D11VideoDevice", hr);
  }
  hr = context_.QueryTo(__uuidof(ID3D11VideoContext), video_context_);
  if (FAILED(hr)) {
    return Fail("Failed to query ID3D11VideoContext", hr);
  }
  D3D11_VIDEO_PROCESSOR_CONTENT_DESC content{};
  content.InputFrameFormat = D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE;
  content.InputFrameRate = {fps, 1};
  content.InputWidth = width;
  content.InputHeight = height;
  content.OutputFrameRate = {fps, 1};
  content.OutputWidth = width;
  content.OutputHeight = height;
  content.Usage = D3D11_VIDEO_USAGE_PLAYBACK_NORMAL;
  hr = video_device_->CreateVideoProcessorEnumerator(&content, enumerator_.Put());
  if (FAILED(hr)) {
    return Fail("Failed to create video processor enumerator", hr);
  }
  hr = video_device_->CreateVideoProcessor(enumerator_.get(), 0, processor_.Put());
  if (FAILED(hr)) {
    return Fail("Failed to create D3D11 video processor", hr);
  }
  if (!EnsureTextures(width, height)) {
    return false;
  }
  LOG_INFO("[Encoder] GPU BGRA->NV12 video processor initialized (feature_level=0x%X)",
           static_cast<unsigned>(level));
  status_ = Status::Success();
  return true;
}

bool D3d11Nv12Converter::EnsureTextures(uint32_t width, uint32_t height) {
  if (upload_texture_ && nv12_texture_ && readback_texture_ && width_ == width &&
      height_ == height) {
    status_ = Status::Success();
    return true;
  }
  upload_texture_.Reset();
  nv12_texture_.Reset();
  readback_texture_.Reset();
  width_ = width;
  height_ = height;
  D3D11_TEXTURE2D_DESC desc = TextureDesc(width, height, DXGI_FORMAT_B8G8R8A8_UNORM, false);
  HRESULT hr = device_->CreateTexture2D(&desc, nullptr, upload_texture_.Put());
  if (FAILED(hr)) {
    return Fail("Failed to create BGRA upload texture for color conversion", hr);
  }
  desc = TextureDesc(width, height, DXGI_FORMAT_NV12, false);
  hr = device_->CreateTexture2D(&desc, nullptr, nv12_texture_.Put());
  if (FAILED(hr)) {
    return Fail("Failed to create NV12 output texture for color conversion", hr);
  }
  desc = TextureDesc(width, height, DXGI_FORMAT_NV12, true);
  hr = device_->CreateTexture2D(&desc, nullptr, readback_texture_.Put());
  if (FAILED(hr)) {
    return Fail("Failed to create NV12 readback texture for color conversion", hr);
  }
  status_ = Status::Success();
  return true;
}

bool D3d11Nv12Converter::Blit(uint32_t width, uint32_t height) {
  D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC input_desc{};
  input_desc.FourCC = 0;
  input_desc.ViewDimension = D3D11_VPIV_DIMENSION_TEXTURE2D;
  ComRef<ID3D11VideoProcessorInputView> input_view;
  HRESULT hr = video_device_->CreateVideoProcessorInputView(
      upload_texture_.get(), enumerator_.get(), &input_desc, input_view.Put());
  if (FAILED(hr) || !input_view) {
    return Fail("Failed to create video processor input view", FAILED(hr) ? hr : E_FAIL);
  }
  D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC output_desc{};
  output_desc.ViewDimension = D3D11_VPOV_DIMENSION_TEXTURE2D;
  ComRef<ID3D11VideoProcessorOutputView> output_view;
  hr = video_device_->CreateVideoProcessorOutputView(nv12_texture_.get(), enumerator_.get(),
                                                     &output_desc, output_view.Put());
  if (FAILED(hr) || !output_view) {
    return Fail("Failed to create video processor output view", FAILED(hr) ? hr : E_FAIL);
  }
  const RECT rect{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  // Said outright, as the driver's defaults are its own: full-range RGB in, and out the
  // matrix and range the CPU converter uses and the encoders declare.
  D3D11_VIDEO_PROCESSOR_COLOR_SPACE input_colour{};
  input_colour.RGB_Range = 0;
  video_context_->VideoProcessorSetStreamColorSpace(processor_.get(), 0, &input_colour);
  D3D11_VIDEO_PROCESSOR_COLOR_SPACE output_colour{};
  output_colour.YCbCr_Matrix = kNv12Colour.matrix == 1 ? 1 : 0;
  output_colour.Nominal_Range = kNv12Colour.full_range ? D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_0_255
                                                       : D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_16_235;
  video_context_->VideoProcessorSetOutputColorSpace(processor_.get(), &output_colour);
  video_context_->VideoProcessorSetStreamFrameFormat(processor_.get(), 0,
                                                     D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE);
  video_context_->VideoProcessorSetStreamSourceRect(processor_.get(), 0, TRUE, &rect);
  video_context_->VideoProcessorSetStreamDestRect(processor_.get(), 0, TRUE, &rect);
  video_context_->VideoProcessorSetOutputTargetRect(processor_.get(), TRUE, &rect);
  D3D11_VIDEO_PROCESSOR_STREAM stream{};
  stream.Enable = TRUE;
  stream.pInputSurface = input_view.get();
  hr = video_context_->VideoProcessorBlt(processor_.get(), output_view.get(), 0, 1, &stream);
  if (FAILED(hr)) {
    return Fail("VideoProcessorBlt failed for BGRA->NV12 conversion", hr);
  }
  return true;
}

bool D3d11Nv12Converter::Convert(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                 uint32_t height, std::vector<uint8_t>& out) {
  if (!video_device_ || !video_context_ || !processor_ || !context_) {
    return Fail("GPU color converter is not initialized", static_cast<HRESULT>(kHresultFail));
  }
  if (!EnsureTextures(width, height)) {
    return false;
  }
  context_->UpdateSubresource(upload_texture_.get(), 0, nullptr, data, row_pitch, 0);
  if (!Blit(width, height)) {
    return false;
  }
  context_->CopyResource(readback_texture_.get(), nv12_texture_.get());
  D3D11_MAPPED_SUBRESOURCE mapping{};
  const HRESULT hr = context_->Map(readback_texture_.get(), 0, D3D11_MAP_READ, 0, &mapping);
  if (FAILED(hr)) {
    return Fail("Failed to map NV12 readback texture", hr);
  }
  PackNv12Surface(static_cast<const uint8_t*>(mapping.pData), mapping.RowPitch, width, height, out);
  context_->Unmap(readback_texture_.get(), 0);
  status_ = Status::Success();
  return true;
}

}  // namespace orvane
