#pragma once

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_capture.h"

namespace orvane {

// Records the monitor of the default PulseAudio sink (PipeWire serves the same API) as
// s16le 48 kHz stereo whatever the sink's own format (the server resamples and downmixes;
// Opus takes neither 44.1 kHz nor more than two channels), in blocks of 10 ms, on
// libpulse's threaded main loop. When the default sink changes, capture moves to the new
// sink's monitor.
//
// Each block is stamped with the capture time of its first sample: the monotonic clock
// when it is read, less the duration of everything readable at that moment (the newest
// sample has just been mixed by the sink).
class PulseLoopbackCapture : public LoopbackAudioCapture {
 public:
  // `server` as libpulse names servers ("unix:/path/native"); empty: the user's server.
  explicit PulseLoopbackCapture(std::string server = {});
  ~PulseLoopbackCapture() override;
  PulseLoopbackCapture(const PulseLoopbackCapture&) = delete;
  PulseLoopbackCapture& operator=(const PulseLoopbackCapture&) = delete;

  bool Initialize() override;
  bool Start(PcmCallback callback) override;
  void Stop() override;
  uint32_t sample_rate() const override { return spec_.rate; }
  uint32_t channels() const override { return spec_.channels; }
  Status LastStatus() const override { return status_; }

 private:
  // libpulse callbacks; they run on the main loop's thread with its lock held.
  static void OnContextState(pa_context* context, void* self);
  static void OnConnectTimeout(pa_mainloop_api* api, pa_time_event* event, const timeval* time,
                               void* self);
  static void OnServerInfo(pa_context* context, const pa_server_info* info, void* self);
  static void OnSinkInfo(pa_context* context, const pa_sink_info* info, int end, void* self);
  static void OnServerEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                            void* self);
  static void OnDefaultSinkKnown(pa_context* context, const pa_server_info* info, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnRead(pa_stream* stream, size_t bytes, void* self);

  // The main loop's lock is held by the caller of these.
  bool Connect();
  bool Await(pa_operation* operation);
  bool ConnectStream();
  void DisconnectStream();
  void ReadAvailable();
  // Cuts what was read into blocks and hands on those in which something plays.
  void Deliver(const uint8_t* data, size_t bytes, uint64_t first_sample_us);

  bool Fail(const char* call, const char* message);
  void Shutdown();

  std::string server_;
  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  bool connect_timed_out_ = false;
  const pa_sample_spec spec_{PA_SAMPLE_S16LE, 48000, 2};
  pa_channel_map channel_map_{};
  pa_sample_spec sink_spec_ = spec_;  // logged only
  std::string default_sink_;
  std::string monitor_source_;
  bool initialized_ = false;
  bool running_ = false;
  PcmCallback callback_;
  // Samples read but not yet delivered: less than one block, starting at pending_start_us_.
  std::vector<int16_t> pending_;
  uint64_t pending_start_us_ = 0;
  Status status_;
};

}  // namespace orvane
