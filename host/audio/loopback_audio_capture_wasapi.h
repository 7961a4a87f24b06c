#pragma once

#include <memory>

#include "audio/audio_capture.h"

namespace orvane {

// Records the default playback endpoint in WASAPI shared-mode loopback: event-driven, as
// 48 kHz stereo float whatever the endpoint's mix format (the audio engine converts; Opus
// takes neither 44.1 kHz nor more than two channels), turned into signed 16-bit samples.
// The capture thread joins the multimedia class "Pro Audio" while it runs. It follows the
// default console playback device: when another becomes the default, or the stream's
// device goes away, the stream is opened again on whatever is the default then.
std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCapture();

}  // namespace orvane
