#include "video/encoder_media_types_mf.h"

#include <mfapi.h>

#include "video/nv12_colour.h"

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

// The declared colour in Media Foundation's terms; Unknown for a code point not mapped here.
constexpr MFVideoPrimaries MfPrimaries(uint8_t code) {
  return code == 1 ? MFVideoPrimaries_BT709 : MFVideoPrimaries_Unknown;
}

constexpr MFVideoTransferFunction MfTransfer(uint8_t code) {
  return code == 13  ? MFVideoTransFunc_sRGB
         : code == 1 ? MFVideoTransFunc_709
                     : MFVideoTransFunc_Unknown;
}

constexpr MFVideoTransferMatrix MfMatrix(uint8_t code) {
  return code == 1                ? MFVideoTransferMatrix_BT709
         : code == 5 || code == 6 ? MFVideoTransferMatrix_BT601
                                  : MFVideoTransferMatrix_Unknown;
}

static_assert(MfPrimaries(kNv12Colour.primaries) != MFVideoPrimaries_Unknown &&
                  MfTransfer(kNv12Colour.transfer) != MFVideoTransFunc_Unknown &&
                  MfMatrix(kNv12Colour.matrix) != MFVideoTransferMatrix_Unknown,
              "the NV12 colour has no Media Foundation name here");

// Every type carries the picture's primaries and transfer. YUV types also carry the
// matrix and range the converter used; RGB comes from the capture at full range. The
// encoder writes what its output type says into the bitstream's VUI.
HRESULT SetColour(IMFMediaType& type, bool yuv) {
  HRESULT hr = type.SetUINT32(MF_MT_VIDEO_PRIMARIES, MfPrimaries(kNv12Colour.primaries));
  if (SUCCEEDED(hr)) {
    hr = type.SetUINT32(MF_MT_TRANSFER_FUNCTION, MfTransfer(kNv12Colour.transfer));
  }
  if (SUCCEEDED(hr) && yuv) {
    hr = type.SetUINT32(MF_MT_YUV_MATRIX, MfMatrix(kNv12Colour.matrix));
  }
  if (SUCCEEDED(hr)) {
    const bool full = !yuv || kNv12Colour.full_range;
    hr = type.SetUINT32(MF_MT_VIDEO_NOMINAL_RANGE,
                        full ? MFNominalRange_0_255 : MFNominalRange_16_235);
  }
  return hr;
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
  if (SUCCEEDED(hr)) {
    hr = SetColour(*type.get(), subtype != MFVideoFormat_RGB32 && subtype != MFVideoFormat_ARGB32);
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

HRESULT SetEncodedColour(IMFMediaType& type) {
  return SetColour(type, true);
}

HRESULT CreateEncoderInputType(EncoderInputFormat format, const EncoderPicture& picture,
                               ComRef<IMFMediaType>& type) {
  return CreateVideoType(Subtype(format), picture, type);
}

}  // namespace orvane
