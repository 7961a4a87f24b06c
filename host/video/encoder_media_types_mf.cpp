#include "video/encoder_media_types_mf.h"

#include <mfapi.h>

namespace orvane {
namespace {

const GUID& Subtype(EncoderInputFormat format) {
  switch (format) {
    case EncoderInputFormat::kNv12:
      return MFVideoFormat_NV12;
    case EncoderInputFormat::kArgb32:
      return MFVideoFormat_ARGB32;
    case EncoderInputFormat::kRgb32:
      break;
  }
  return MFVideoFormat_RGB32;
}

HRESULT CreateVideoType(const GUID& subtype, const EncoderPicture& picture,
                        ComRef<IMFMediaType>& type) {
  HRESULT hr = MFCreateMediaType(type.Put());
  if (FAILED(hr)) {
    return hr;
  }
  hr = type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  if (SUCCEEDED(hr)) {
    hr = type->SetGUID(MF_MT_SUBTYPE, subtype);
  }
  if (SUCCEEDED(hr)) {
    hr = MFSetAttributeSize(type.get(), MF_MT_FRAME_SIZE, picture.width, picture.height);
  }
  if (SUCCEEDED(hr)) {
    hr = MFSetAttributeRatio(type.get(), MF_MT_FRAME_RATE, picture.fps, 1);
  }
  if (SUCCEEDED(hr)) {
    hr = type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
  }
  if (SUCCEEDED(hr)) {
    hr = MFSetAttributeRatio(type.get(), MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
  }
  return hr;
}

}  // namespace

HRESULT CreateEncoderOutputType(bool hevc, const EncoderPicture& picture, uint32_t bitrate_kbps,
                                ComRef<IMFMediaType>& type) {
  HRESULT hr = CreateVideoType(hevc ? MFVideoFormat_HEVC : MFVideoFormat_H264, picture, type);
  if (SUCCEEDED(hr)) {
    hr = type->SetUINT32(MF_MT_AVG_BITRATE, bitrate_kbps * 1000);
  }
  if (SUCCEEDED(hr)) {
    hr = type->SetUINT32(MF_LOW_LATENCY, TRUE);
  }
  return hr;
}

HRESULT CreateEncoderInputType(EncoderInputFormat format, const EncoderPicture& picture,
                               ComRef<IMFMediaType>& type) {
  return CreateVideoType(Subtype(format), picture, type);
}

}  // namespace orvane
