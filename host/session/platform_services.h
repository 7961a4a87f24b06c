#pragma once

#include <functional>
#include <memory>
#include <string>

#include "audio/audio_capture.h"
#include "audio/opus_transform.h"
#include "input/input_sink.h"
#include "services/clipboard_backend.h"
#include "video/cursor_source.h"
#include "video/screen_capturers.h"
#include "video/video_encoder.h"

namespace orvane {

// What a session takes from the platform it runs on. The entry point builds the real
// bundle for its platform; tests replace any part with fakes. An empty factory, or one
// that makes nothing, is a facility this platform or machine does not offer.
struct PlatformServices {
  // The capture sources of one stream in preference order; called at each stream start
  // and once for the tray (a source holds no OS objects before it is initialised).
  std::function<ScreenCapturers()> capturers;
  // Turns the capture choice of a session ("auto" or a source's name) into the one its
  // streams use, where the platform decides "auto" itself; empty keeps the choice.
  std::function<std::string(const std::string&)> capture_choice;
  // The system cursor; called once per session.
  std::function<std::unique_ptr<CursorSource>()> cursor_source;
  // The encoder of one stream; called at each stream start.
  VideoEncoderFactory video_encoder;
  // Where the client's input goes; called once per session. Without one, input events
  // are accepted and go nowhere.
  std::function<std::unique_ptr<InputSink>()> input_sink;
  // Records what the computer plays; called once per session. Without one, streams carry
  // no audio.
  AudioCaptureFactory audio_capture;
  // An Opus encoder of the platform, preferred to libopus; called at each stream start
  // that carries audio.
  OpusTransformFactory opus_transform;
  // The computer's clipboard; called once per session. Without one, the clipboard is not
  // shared.
  ClipboardBackendFactory clipboard;
};

}  // namespace orvane
