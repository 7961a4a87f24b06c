#pragma once

#include <memory>

#include "audio/audio_capture.h"

namespace orvane {

// Records the default playback endpoint in WASAPI shared-mode loopback: event-driven,
// in the endpoint's mix format, float samples turned into signed 16-bit ones. The
// capture thread joins the multimedia class "Pro Audio" while it runs.
std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCapture();

}  // namespace orvane
