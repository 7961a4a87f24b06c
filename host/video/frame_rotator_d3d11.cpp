#include "video/frame_rotator_d3d11.h"

namespace orvane {
namespace {

D3D11_TEXTURE2D_DESC BgraTexture(const FrameSize& size) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = size.width;
  desc.Height = size.height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc = {1, 0};
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
  return desc;
}

RECT Whole(const FrameSize& size) {
  return RECT{0, 0, static_cast<LONG>(size.width), static_cast<LONG>(size.height)};
}

}  // namespace

HRESULT D3d11FrameRotator::Prepare(ID3D11Device& device, FrameRotation rotation, uint32_t width,
                                   uint32_t height) {
  Release();
  blit_ = PlanRotationBlit(rotation, width, height);
  HRESULT hr = device.QueryInterface(__uuidof(ID3D11VideoDevice), video_device_.PutVoid());
  if (FAILED(hr)) {
    return hr;
  }
  ComRef<ID3D11DeviceContext> context;
  device.GetImmediateContext(context.Put());
  hr = context.QueryTo(__uuidof(ID3D11VideoContext), video_context_);
  if (FAILED(hr)) {
    return hr;
  }
  D3D11_VIDEO_PROCESSOR_CONTENT_DESC content{};
  content.InputFrameFormat = D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE;
  content.InputFrameRate = {60, 1};
  content.InputWidth = blit_.source.width;
  content.InputHeight = blit_.source.height;
  content.OutputFrameRate = {60, 1};
  content.OutputWidth = blit_.target.width;
  content.OutputHeight = blit_.target.height;
  content.Usage = D3D11_VIDEO_USAGE_OPTIMAL_QUALITY;
  hr = video_device_->CreateVideoProcessorEnumerator(&content, enumerator_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  // Rotation is an optional feature of a video processor.
  D3D11_VIDEO_PROCESSOR_CAPS caps{};
  hr = enumerator_->GetVideoProcessorCaps(&caps);
  if (FAILED(hr)) {
    return hr;
  }
  UINT format_support = 0;
  hr = enumerator_->CheckVideoProcessorFormat(DXGI_FORMAT_B8G8R8A8_UNORM, &format_support);
  if (FAILED(hr)) {
    return hr;
  }
  const UINT both_ways =
      D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_INPUT | D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_OUTPUT;
  if ((caps.FeatureCaps & D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_ROTATION) == 0 ||
      (format_support & both_ways) != both_ways) {
    return DXGI_ERROR_UNSUPPORTED;
  }
  hr = video_device_->CreateVideoProcessor(enumerator_.get(), 0, processor_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  D3D11_TEXTURE2D_DESC desc = BgraTexture(blit_.source);
  hr = device.CreateTexture2D(&desc, nullptr, input_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  desc = BgraTexture(blit_.target);
  hr = device.CreateTexture2D(&desc, nullptr, output_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC input_desc{};
  input_desc.ViewDimension = D3D11_VPIV_DIMENSION_TEXTURE2D;
  hr = video_device_->CreateVideoProcessorInputView(input_.get(), enumerator_.get(), &input_desc,
                                                    input_view_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC output_desc{};
  output_desc.ViewDimension = D3D11_VPOV_DIMENSION_TEXTURE2D;
  hr = video_device_->CreateVideoProcessorOutputView(output_.get(), enumerator_.get(), &output_desc,
                                                     output_view_.Put());
  if (FAILED(hr)) {
    return hr;
  }
  // The source rectangle is in the unturned image, the destination in the upright one.
  const RECT source = Whole(blit_.source);
  const RECT target = Whole(blit_.target);
  video_context_->VideoProcessorSetStreamFrameFormat(processor_.get(), 0,
                                                     D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE);
  video_context_->VideoProcessorSetStreamSourceRect(processor_.get(), 0, TRUE, &source);
  video_context_->VideoProcessorSetStreamDestRect(processor_.get(), 0, TRUE, &target);
  video_context_->VideoProcessorSetOutputTargetRect(processor_.get(), TRUE, &target);
  video_context_->VideoProcessorSetStreamRotation(
      processor_.get(), 0, TRUE, static_cast<D3D11_VIDEO_PROCESSOR_ROTATION>(blit_.quarter_turns));
  return S_OK;
}

ID3D11Texture2D* D3d11FrameRotator::Rotate(ID3D11Device& device, ID3D11DeviceContext& context,
                                           FrameRotation rotation, ID3D11Texture2D& source,
                                           HRESULT& error) {
  D3D11_TEXTURE2D_DESC desc{};
  source.GetDesc(&desc);
  if (desc.Format != DXGI_FORMAT_B8G8R8A8_UNORM) {
    error = DXGI_ERROR_UNSUPPORTED;
    return nullptr;
  }
  const RotationBlit wanted = PlanRotationBlit(rotation, desc.Width, desc.Height);
  if (!processor_ || wanted.quarter_turns != blit_.quarter_turns ||
      wanted.source.width != blit_.source.width || wanted.source.height != blit_.source.height) {
    error = Prepare(device, rotation, desc.Width, desc.Height);
    if (FAILED(error)) {
      Release();
      return nullptr;
    }
  }
  // The desktop's own texture need not be bound for the video processor; a copy is.
  context.CopyResource(input_.get(), &source);
  D3D11_VIDEO_PROCESSOR_STREAM stream{};
  stream.Enable = TRUE;
  stream.pInputSurface = input_view_.get();
  error = video_context_->VideoProcessorBlt(processor_.get(), output_view_.get(), 0, 1, &stream);
  return SUCCEEDED(error) ? output_.get() : nullptr;
}

void D3d11FrameRotator::Release() {
  output_view_.Reset();
  input_view_.Reset();
  output_.Reset();
  input_.Reset();
  processor_.Reset();
  enumerator_.Reset();
  video_context_.Reset();
  video_device_.Reset();
  blit_ = {};
}

}  // namespace orvane
