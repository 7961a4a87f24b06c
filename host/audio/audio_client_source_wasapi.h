#pragma once

#include <windows.h>

#include <audioclient.h>
#include <wrl/client.h>

#include <functional>
#include <memory>

#include "audio/audio_capture.h"

namespace orvane {

// The audio client of the endpoint to record, or the call that failed on the way to it.
struct AudioClientActivation {
  Microsoft::WRL::ComPtr<IAudioClient> client;
  const char* failed_call = nullptr;  // named in the log line
  const char* failure = nullptr;      // the LastStatus message
  HRESULT hr = S_OK;
};
using AudioClientSource = std::function<AudioClientActivation()>;

// The default playback endpoint's audio client.
AudioClientActivation ActivateDefaultRenderClient();

// The WASAPI loopback capture on the audio client `source` hands out.
std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCaptureFrom(AudioClientSource source);

}  // namespace orvane
