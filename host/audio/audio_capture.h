#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/status.h"

namespace orvane {

// One block of captured sound: `frames` × `channels` interleaved signed 16-bit samples,
// valid only during the call, and the monotonic time (µs) at which its first sample was
// captured.
using PcmCallback = std::function<void(const int16_t* samples, uint32_t frames, uint32_t channels,
                                       uint64_t timestamp_us)>;

// Records what the computer plays. Blocks in which nothing plays (silent) are not
// delivered: the consumer sees a gap in time instead.
//
// Initialize once; Start and Stop any number of times, all from one thread. The callback
// runs on the capture's own thread; once Stop returns it runs no more.
class LoopbackAudioCapture {
 public:
  virtual ~LoopbackAudioCapture() = default;

  // Opens the playback device; on false LastStatus says why.
  virtual bool Initialize() = 0;
  // True at once, keeping the first callback, while already running.
  virtual bool Start(PcmCallback callback) = 0;
  virtual void Stop() = 0;

  // The delivered format. The system captures deliver 48000 Hz stereo whatever the
  // device's own format (the sound server converts), as Opus takes no other.
  virtual uint32_t sample_rate() const = 0;
  virtual uint32_t channels() const = 0;
  // Read only after Initialize or Start has failed, when no capture thread runs.
  virtual Status LastStatus() const = 0;
};

// Makes the capture of one session; empty where the platform offers none.
using AudioCaptureFactory = std::function<std::unique_ptr<LoopbackAudioCapture>()>;

}  // namespace orvane
