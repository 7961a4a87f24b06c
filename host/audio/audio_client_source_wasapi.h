#pragma once

#include <windows.h>

#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <functional>
#include <memory>

#include "audio/audio_capture.h"

namespace orvane {

// The device enumerator the capture finds the default playback endpoint with, and which
// tells it when another endpoint becomes the default: the system's in the host, one that
// keeps Windows' documented rules in tests.
using DeviceEnumeratorSource =
    std::function<HRESULT(Microsoft::WRL::ComPtr<IMMDeviceEnumerator>& enumerator)>;

// The system's MMDeviceEnumerator.
HRESULT CreateSystemDeviceEnumerator(Microsoft::WRL::ComPtr<IMMDeviceEnumerator>& enumerator);

// The WASAPI loopback capture of the default playback endpoint of `source`'s enumerator.
std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCaptureFrom(
    DeviceEnumeratorSource source);

}  // namespace orvane
