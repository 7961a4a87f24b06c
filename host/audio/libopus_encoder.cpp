#include "audio/libopus_encoder.h"

#include <opus/opus.h>

#include <algorithm>
#include <cstdio>

#include "audio/pcm_samples.h"

namespace orvane {
namespace {

// libopus writes at most this many bytes of one packet.
constexpr int kMaxPacketBytes = 1500;

std::string LibopusError(const char* what, int error) {
  char text[256];
  std::snprintf(text, sizeof(text), "%s: %s (err=%d)", what, opus_strerror(error), error);
  return text;
}

}  // namespace

LibopusEncoder::~LibopusEncoder() {
  Shutdown();
}

bool LibopusEncoder::Initialize(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps) {
  Shutdown();
  sample_rate_ = sample_rate;
  channels_ = channels;
  int error = OPUS_OK;
  encoder_ = opus_encoder_create(static_cast<opus_int32>(sample_rate), static_cast<int>(channels),
                                 OPUS_APPLICATION_AUDIO, &error);
  if (encoder_ != nullptr && error == OPUS_OK && bitrate_kbps > 0) {
    error =
        opus_encoder_ctl(encoder_, OPUS_SET_BITRATE(static_cast<opus_int32>(bitrate_kbps) * 1000));
  }
  if (encoder_ == nullptr || error != OPUS_OK) {
    Shutdown();
    status_ = Status::Failure(StatusCode::kCodec, LibopusError("libopus init failed", error));
    return false;
  }
  opus_encoder_ctl(encoder_, OPUS_SET_VBR(1));
  opus_encoder_ctl(encoder_, OPUS_SET_VBR_CONSTRAINT(1));
  frame_samples_ = std::max<uint32_t>(sample_rate * 20 / 1000, 1);
  frame_ms_ = static_cast<uint8_t>(uint64_t{frame_samples_} * 1000 / sample_rate);
  if (frame_ms_ == 0) {
    frame_ms_ = 20;
  }
  status_ = Status::Success();
  return true;
}

void LibopusEncoder::Shutdown() {
  if (encoder_ != nullptr) {
    opus_encoder_destroy(encoder_);
    encoder_ = nullptr;
  }
  ClearQueues();
  frame_samples_ = 0;
  frame_ms_ = 20;
  status_ = Status::Success();
}

void LibopusEncoder::ClearQueues() {
  pcm_.clear();
  packets_.clear();
  timing_started_ = false;
  timing_origin_us_ = 0;
  frames_since_origin_ = 0;
}

uint64_t LibopusEncoder::BufferedFrames() const {
  return pcm_.size() / channels_;
}

void LibopusEncoder::FollowCaptureClock(uint64_t timestamp_us) {
  const uint64_t buffered_us = TicksToMicros(BufferedFrames(), sample_rate_);
  const uint64_t queued_end_us =
      timing_origin_us_ + TicksToMicros(frames_since_origin_ + BufferedFrames(), sample_rate_);
  if (timestamp_us > queued_end_us + TicksToMicros(frame_samples_, sample_rate_)) {
    // The queued samples stay and lead straight into this block.
    timing_origin_us_ = timestamp_us - buffered_us;
    frames_since_origin_ = 0;
  }
}

AudioEncodeResult LibopusEncoder::Fail(std::string message) {
  status_ = Status::Failure(StatusCode::kCodec, std::move(message));
  return AudioEncodeResult::kFailed;
}

AudioEncodeResult LibopusEncoder::Encode(const int16_t* pcm, uint32_t frames, uint64_t timestamp_us,
                                         EncodedAudioPacket& out) {
  if (encoder_ == nullptr) {
    return Fail("libopus encoder is unavailable");
  }
  if (!timing_started_) {
    timing_started_ = true;
    timing_origin_us_ = timestamp_us;
    frames_since_origin_ = 0;
  } else {
    FollowCaptureClock(timestamp_us);
  }
  pcm_.insert(pcm_.end(), pcm, pcm + size_t{frames} * channels_);

  const size_t frame_values = size_t{frame_samples_} * channels_;
  size_t consumed = 0;
  uint8_t packet[kMaxPacketBytes];
  while (pcm_.size() - consumed >= frame_values) {
    const int size = opus_encode(encoder_, pcm_.data() + consumed, static_cast<int>(frame_samples_),
                                 packet, kMaxPacketBytes);
    if (size < 0) {
      ClearQueues();
      return Fail(LibopusError("libopus encode failed", size));
    }
    EncodedAudioPacket& queued = packets_.emplace_back();
    queued.bytes.assign(packet, packet + size);
    queued.timestamp_us = timing_origin_us_ + TicksToMicros(frames_since_origin_, sample_rate_);
    queued.duration_ms = frame_ms_;
    frames_since_origin_ += frame_samples_;
    consumed += frame_values;
  }
  pcm_.erase(pcm_.begin(), pcm_.begin() + static_cast<ptrdiff_t>(consumed));

  if (packets_.empty()) {
    status_ = Status::Failure(StatusCode::kCodec, "libopus requires more PCM input");
    return AudioEncodeResult::kNeedMoreInput;
  }
  out = std::move(packets_.front());
  packets_.pop_front();
  status_ = Status::Success();
  return AudioEncodeResult::kPacket;
}

}  // namespace orvane
