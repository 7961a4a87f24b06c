#include "audio/opus_audio_encoder.h"

#include "base/logger.h"

namespace orvane {

OpusAudioEncoder::OpusAudioEncoder(OpusTransformFactory transform_factory)
    : transform_factory_(std::move(transform_factory)) {}

OpusAudioEncoder::~OpusAudioEncoder() {
  Shutdown();
}

bool OpusAudioEncoder::Initialize(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps) {
  Shutdown();
  channels_ = channels;
  initialized_ = true;
  transform_ = transform_factory_ ? transform_factory_() : nullptr;
  if (transform_ && transform_->Initialize(sample_rate, channels, bitrate_kbps)) {
    backend_ = Backend::kTransform;
    LOG_INFO("[OpusEnc] Opus MFT encoder initialized: %uHz, %uch, %ukbps", sample_rate, channels,
             bitrate_kbps);
    return true;
  }
  transform_.reset();
  if (libopus_.Initialize(sample_rate, channels, bitrate_kbps)) {
    backend_ = Backend::kLibopus;
    LOG_INFO("[OpusEnc] Opus libopus fallback initialized: %uHz, %uch, %ukbps", sample_rate,
             channels, bitrate_kbps);
    return true;
  }
  status_ = libopus_.LastStatus();
  LOG_ERROR("[OpusEnc] No Opus backend available (MFT + libopus fallback failed)");
  return false;
}

void OpusAudioEncoder::Shutdown() {
  if (transform_) {
    transform_->Shutdown();
    transform_.reset();
  }
  libopus_.Shutdown();
  backend_ = Backend::kNone;
  initialized_ = false;
  status_ = Status::Success();
}

AudioEncodeResult OpusAudioEncoder::Fail(const char* message) {
  status_ = Status::Failure(StatusCode::kCodec, message);
  return AudioEncodeResult::kFailed;
}

AudioEncodeResult OpusAudioEncoder::Encode(const int16_t* pcm, uint32_t frames, uint32_t channels,
                                           uint64_t timestamp_us, EncodedAudioPacket& out) {
  if (!initialized_ || backend_ == Backend::kNone) {
    return Fail("Opus encoder is not initialized");
  }
  if (channels != channels_) {
    return Fail("Audio channel count changed during Opus encoding");
  }
  AudioEncodeResult result;
  if (backend_ == Backend::kTransform) {
    result = transform_->Encode(pcm, frames, channels, timestamp_us, out);
    status_ = transform_->LastStatus();
  } else {
    result = libopus_.Encode(pcm, frames, timestamp_us, out);
    status_ = libopus_.LastStatus();
  }
  return result;
}

}  // namespace orvane
