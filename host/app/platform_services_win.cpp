#include "app/platform_services.h"

#include "audio/loopback_audio_capture_wasapi.h"
#include "audio/opus_transform_mf.h"

namespace orvane {

// The Windows capturers, cursor, video encoder and injector are not built yet: selection
// finds no capture backend and a stream start reports that no encoder is available.
PlatformServices CreatePlatformServices() {
  PlatformServices services;
  services.audio_capture = CreateWasapiLoopbackCapture;
  services.opus_transform = CreateMfOpusTransform;
  return services;
}

}  // namespace orvane
