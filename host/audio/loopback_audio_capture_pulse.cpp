#include "audio/loopback_audio_capture_pulse.h"

#include <algorithm>
#include <cstring>

#include "audio/pcm_samples.h"
#include "base/logger.h"
#include "platform/clock.h"

namespace orvane {
namespace {

// A server that accepts the connection but never answers must not hold up the session.
constexpr pa_usec_t kConnectLimitUs = 5 * PA_USEC_PER_SEC;
constexpr uint32_t kBlocksPerSecond = 100;
// Resolved by the server when the stream connects: always the current default sink's.
constexpr const char* kDefaultSinkMonitor = "@DEFAULT_MONITOR@";

PulseLoopbackCapture& Self(void* self) {
  return *static_cast<PulseLoopbackCapture*>(self);
}

}  // namespace

PulseLoopbackCapture::PulseLoopbackCapture(std::string server) : server_(std::move(server)) {
  pa_channel_map_init_stereo(&channel_map_);
}

PulseLoopbackCapture::~PulseLoopbackCapture() {
  Shutdown();
}

bool PulseLoopbackCapture::Fail(const char* call, const char* message) {
  const char* reason =
      context_ != nullptr ? pa_strerror(pa_context_errno(context_)) : "no main loop";
  if (connect_timed_out_) {
    reason = "timed out";
  }
  LOG_ERROR("[Audio] %s failed: %s", call, reason);
  status_ = Status::Failure(StatusCode::kResource, message);
  return false;
}

bool PulseLoopbackCapture::Initialize() {
  Shutdown();
  status_ = Status::Success();
  mainloop_ = pa_threaded_mainloop_new();
  if (mainloop_ == nullptr) {
    return Fail("pa_threaded_mainloop_new", "Audio server connection failed");
  }
  context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Orvane Display Host");
  if (context_ == nullptr || pa_threaded_mainloop_start(mainloop_) < 0) {
    Fail("pa_context_new", "Audio server connection failed");
    Shutdown();
    return false;
  }
  pa_threaded_mainloop_lock(mainloop_);
  initialized_ = Connect();
  pa_threaded_mainloop_unlock(mainloop_);
  if (!initialized_) {
    Shutdown();
    return false;
  }
  LOG_INFO("[Audio] Mix format: %uHz, %uch, %ubit", sink_spec_.rate, sink_spec_.channels,
           static_cast<unsigned>(pa_sample_size(&sink_spec_) * 8));
  LOG_INFO("[Audio] PulseAudio loopback initialized: %s", monitor_source_.c_str());
  return true;
}

bool PulseLoopbackCapture::Connect() {
  pa_context_set_state_callback(context_, OnContextState, this);
  if (pa_context_connect(context_, server_.empty() ? nullptr : server_.c_str(),
                         PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return Fail("pa_context_connect", "Audio server connection failed");
  }
  connect_timed_out_ = false;
  pa_time_event* timer =
      pa_context_rttime_new(context_, pa_rtclock_now() + kConnectLimitUs, OnConnectTimeout, this);
  pa_context_state_t state = pa_context_get_state(context_);
  while (state != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state) && !connect_timed_out_) {
    pa_threaded_mainloop_wait(mainloop_);
    state = pa_context_get_state(context_);
  }
  if (timer != nullptr) {
    pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
  }
  if (state != PA_CONTEXT_READY) {
    return Fail("pa_context_connect", "Audio server connection failed");
  }
  if (!Await(pa_context_get_server_info(context_, OnServerInfo, this)) || default_sink_.empty()) {
    return Fail("pa_context_get_server_info", "Default audio endpoint is unavailable");
  }
  if (!Await(pa_context_get_sink_info_by_name(context_, default_sink_.c_str(), OnSinkInfo, this)) ||
      monitor_source_.empty()) {
    return Fail("pa_context_get_sink_info_by_name", "Default audio endpoint is unavailable");
  }
  pa_context_set_subscribe_callback(context_, OnServerEvent, this);
  if (pa_operation* subscription =
          pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr)) {
    pa_operation_unref(subscription);
  }
  return true;
}

bool PulseLoopbackCapture::Await(pa_operation* operation) {
  if (operation == nullptr) {
    return false;
  }
  while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
    pa_threaded_mainloop_wait(mainloop_);
  }
  const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  pa_operation_unref(operation);
  return done;
}

void PulseLoopbackCapture::OnContextState(pa_context*, void* self) {
  pa_threaded_mainloop_signal(Self(self).mainloop_, 0);
}

void PulseLoopbackCapture::OnConnectTimeout(pa_mainloop_api*, pa_time_event*, const timeval*,
                                            void* self) {
  Self(self).connect_timed_out_ = true;
  pa_threaded_mainloop_signal(Self(self).mainloop_, 0);
}

void PulseLoopbackCapture::OnServerInfo(pa_context*, const pa_server_info* info, void* self) {
  PulseLoopbackCapture& capture = Self(self);
  if (info != nullptr && info->default_sink_name != nullptr) {
    capture.default_sink_ = info->default_sink_name;
  }
  pa_threaded_mainloop_signal(capture.mainloop_, 0);
}

void PulseLoopbackCapture::OnSinkInfo(pa_context*, const pa_sink_info* info, int end, void* self) {
  PulseLoopbackCapture& capture = Self(self);
  if (end == 0 && info != nullptr) {
    capture.sink_spec_ = info->sample_spec;
    capture.monitor_source_ = info->monitor_source_name != nullptr ? info->monitor_source_name : "";
  }
  pa_threaded_mainloop_signal(capture.mainloop_, 0);
}

void PulseLoopbackCapture::OnServerEvent(pa_context* context, pa_subscription_event_type_t type,
                                         uint32_t, void* self) {
  if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER) {
    return;
  }
  if (pa_operation* query = pa_context_get_server_info(context, OnDefaultSinkKnown, self)) {
    pa_operation_unref(query);
  }
}

void PulseLoopbackCapture::OnDefaultSinkKnown(pa_context*, const pa_server_info* info, void* self) {
  PulseLoopbackCapture& capture = Self(self);
  if (info == nullptr || info->default_sink_name == nullptr ||
      capture.default_sink_ == info->default_sink_name) {
    return;
  }
  capture.default_sink_ = info->default_sink_name;
  LOG_INFO("[Audio] Default sink is now %s", capture.default_sink_.c_str());
  if (!capture.running_) {
    return;  // the next Start connects to it
  }
  capture.DisconnectStream();
  capture.pending_.clear();
  if (!capture.ConnectStream()) {
    LOG_WARN("[Audio] Cannot capture the new default sink: %s",
             pa_strerror(pa_context_errno(capture.context_)));
  }
}

bool PulseLoopbackCapture::ConnectStream() {
  stream_ = pa_stream_new(context_, "Loopback capture", &spec_, &channel_map_);
  if (stream_ == nullptr) {
    return false;
  }
  pa_stream_set_state_callback(stream_, OnStreamState, this);
  pa_stream_set_read_callback(stream_, OnRead, this);
  pa_buffer_attr buffer{};
  buffer.maxlength = static_cast<uint32_t>(-1);
  buffer.tlength = static_cast<uint32_t>(-1);
  buffer.prebuf = static_cast<uint32_t>(-1);
  buffer.minreq = static_cast<uint32_t>(-1);
  // Fragments of one block keep what waits in the server small; a record stream's own
  // latency figure would not help, as for a monitor it adds the sink's playback buffer,
  // which lies after the moment the sound was mixed (the moment loopback captures).
  buffer.fragsize =
      static_cast<uint32_t>(pa_usec_to_bytes(PA_USEC_PER_SEC / kBlocksPerSecond, &spec_));
  // Not moved by the server: when the sink goes, capture follows the new default sink
  // rather than whatever source the server would pick (a microphone).
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream_, kDefaultSinkMonitor, &buffer, flags) < 0) {
    DisconnectStream();
    return false;
  }
  return true;
}

void PulseLoopbackCapture::DisconnectStream() {
  if (stream_ == nullptr) {
    return;
  }
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void PulseLoopbackCapture::OnStreamState(pa_stream* stream, void* self) {
  PulseLoopbackCapture& capture = Self(self);
  if (capture.running_ && pa_stream_get_state(stream) == PA_STREAM_FAILED) {
    LOG_WARN("[Audio] Capture stream ended: %s", pa_strerror(pa_context_errno(capture.context_)));
  }
  pa_threaded_mainloop_signal(capture.mainloop_, 0);
}

bool PulseLoopbackCapture::Start(PcmCallback callback) {
  if (mainloop_ == nullptr || !initialized_) {
    status_ =
        Status::Failure(StatusCode::kResource, "Audio capture was not initialized before Start()");
    return false;
  }
  pa_threaded_mainloop_lock(mainloop_);
  if (running_) {
    pa_threaded_mainloop_unlock(mainloop_);
    return true;
  }
  callback_ = std::move(callback);
  pending_.clear();
  bool ready = ConnectStream();
  if (ready) {
    pa_stream_state_t state = pa_stream_get_state(stream_);
    while (state == PA_STREAM_UNCONNECTED || state == PA_STREAM_CREATING) {
      pa_threaded_mainloop_wait(mainloop_);
      state = pa_stream_get_state(stream_);
    }
    ready = state == PA_STREAM_READY;
  }
  if (!ready) {
    Fail("pa_stream_connect_record", "Audio client start failed");
    DisconnectStream();
    pa_threaded_mainloop_unlock(mainloop_);
    return false;
  }
  running_ = true;
  pa_threaded_mainloop_unlock(mainloop_);
  status_ = Status::Success();
  LOG_INFO("[Audio] Capture started");
  return true;
}

void PulseLoopbackCapture::Stop() {
  if (mainloop_ == nullptr) {
    return;
  }
  // Read callbacks run under the main loop's lock: none runs past this point.
  pa_threaded_mainloop_lock(mainloop_);
  running_ = false;
  DisconnectStream();
  pending_.clear();
  pa_threaded_mainloop_unlock(mainloop_);
  status_ = Status::Success();
}

void PulseLoopbackCapture::Shutdown() {
  if (mainloop_ != nullptr) {
    pa_threaded_mainloop_lock(mainloop_);
    running_ = false;
    DisconnectStream();
    if (context_ != nullptr) {
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_set_subscribe_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
    mainloop_ = nullptr;
  }
  initialized_ = false;
}

void PulseLoopbackCapture::OnRead(pa_stream*, size_t, void* self) {
  Self(self).ReadAvailable();
}

void PulseLoopbackCapture::ReadAvailable() {
  size_t readable = 0;
  while (stream_ != nullptr && (readable = pa_stream_readable_size(stream_)) > 0 &&
         readable != static_cast<size_t>(-1)) {
    const uint64_t now_us = MonotonicMicros();
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) {
      return;
    }
    if (data == nullptr) {
      pending_.clear();  // a hole: what is missing cannot be filled in
    } else {
      // The newest readable sample has just come from the sink's mix; this chunk starts
      // as long before as everything readable lasts.
      const uint64_t waiting_us = pa_bytes_to_usec(readable, &spec_);
      Deliver(static_cast<const uint8_t*>(data), bytes, now_us - std::min(waiting_us, now_us));
    }
    pa_stream_drop(stream_);
  }
}

void PulseLoopbackCapture::Deliver(const uint8_t* data, size_t bytes, uint64_t first_sample_us) {
  const uint32_t channels = spec_.channels;
  const uint32_t block_frames = std::max<uint32_t>(spec_.rate / kBlocksPerSecond, 1);
  const size_t block_values = size_t{block_frames} * channels;
  const uint64_t pending_us = TicksToMicros(pending_.size() / channels, spec_.rate);
  pending_start_us_ = first_sample_us - std::min(pending_us, first_sample_us);
  const size_t old_size = pending_.size();
  pending_.resize(old_size + bytes / sizeof(int16_t));
  std::memcpy(pending_.data() + old_size, data, (pending_.size() - old_size) * sizeof(int16_t));

  size_t offset = 0;
  for (; pending_.size() - offset >= block_values; offset += block_values) {
    const int16_t* block = pending_.data() + offset;
    if (!IsSilent({block, block_values})) {
      callback_(block, block_frames, channels, pending_start_us_);
    }
    pending_start_us_ += TicksToMicros(block_frames, spec_.rate);
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(offset));
}

}  // namespace orvane
