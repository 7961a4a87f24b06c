#include "video/encoder_activation_mf.h"

#include <mfapi.h>
#include <mfidl.h>
#include <objbase.h>

#include "base/logger.h"

namespace orvane {

bool ActivateEncoderTransform(bool hevc, bool hardware, ActivatedEncoder& encoder, Status& status) {
  const char* kind = hardware ? "hardware" : "software";
  const char* codec = hevc ? "HEVC" : "H264";
  const UINT32 flags = hardware ? (MFT_ENUM_FLAG_HARDWARE | MFT_ENUM_FLAG_SORTANDFILTER)
                                : (MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_SORTANDFILTER);
  MFT_REGISTER_TYPE_INFO output{MFMediaType_Video, hevc ? MFVideoFormat_HEVC : MFVideoFormat_H264};
  IMFActivate** activates = nullptr;
  UINT32 count = 0;
  HRESULT hr = MFTEnumEx(MFT_CATEGORY_VIDEO_ENCODER, flags, nullptr, &output, &activates, &count);
  if (FAILED(hr) || count == 0) {
    LOG_ERROR("[Encoder] No %s encoder found for %s", kind, codec);
    status = Status::Failure(StatusCode::kCodec, "No compatible encoder found",
                             static_cast<uint32_t>(hr));
    CoTaskMemFree(activates);
    return false;
  }
  ComRef<IMFTransform>& transform = encoder.transform;
  transform.Reset();
  encoder.activation.Reset();
  hr = activates[0]->ActivateObject(__uuidof(IMFTransform), transform.PutVoid());
  if (SUCCEEDED(hr)) {
    // Kept so that releasing the encoder can end the session the activation opened.
    activates[0]->AddRef();
    *encoder.activation.Put() = activates[0];
  }
  for (UINT32 i = 0; i < count; ++i) {
    activates[i]->Release();
  }
  CoTaskMemFree(activates);
  if (FAILED(hr) || !transform) {
    if (encoder.activation) {
      encoder.activation->ShutdownObject();
      encoder.activation.Reset();
    }
    transform.Reset();
    LOG_ERROR("[Encoder] ActivateObject failed: 0x%08lX", static_cast<unsigned long>(hr));
    status = Status::Failure(StatusCode::kCodec, "Encoder activation failed",
                             static_cast<uint32_t>(FAILED(hr) ? hr : E_NOINTERFACE));
    return false;
  }
  LOG_INFO("[Encoder] MFT encoder activated (%s).", kind);
  return true;
}

}  // namespace orvane
