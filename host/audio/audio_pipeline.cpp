#include "audio/audio_pipeline.h"

#include "base/logger.h"

namespace orvane {
namespace {

constexpr uint32_t kDefaultSampleRate = 48000;
constexpr uint32_t kDefaultChannels = 2;
constexpr uint32_t kOpusBitrateKbps = 64;

unsigned long Hresult(const Status& status) {
  return static_cast<unsigned long>(status.hr);
}

}  // namespace

AudioPipeline::AudioPipeline(AudioCaptureFactory capture_factory,
                             OpusTransformFactory transform_factory,
                             std::function<uint64_t()> tick_ms)
    : capture_factory_(std::move(capture_factory)),
      encoder_(std::move(transform_factory)),
      tick_ms_(std::move(tick_ms)) {}

AudioPipeline::~AudioPipeline() {
  Stop();
}

Status AudioPipeline::CaptureStatus() const {
  return capture_ ? capture_->LastStatus()
                  : Status::Failure(StatusCode::kResource, "No audio capture on this platform");
}

bool AudioPipeline::Initialize() {
  capture_ = capture_factory_ ? capture_factory_() : nullptr;
  if (capture_ && capture_->Initialize()) {
    return true;
  }
  const Status status = CaptureStatus();
  LOG_INFO(
      "[AudioPipeline] Audio capture init failed code=%d msg=%s hr=0x%08lX -- audio will be "
      "unavailable",
      status.code, status.message.c_str(), Hresult(status));
  capture_.reset();
  return false;
}

void AudioPipeline::Start(bool audio_enabled, AudioPacketSender sender,
                          const std::atomic<bool>& streaming) {
  audio_enabled_ = audio_enabled;
  if (!audio_enabled) {
    return;
  }
  sender_ = std::move(sender);
  streaming_ = &streaming;
  const uint32_t rate = capture_ ? capture_->sample_rate() : kDefaultSampleRate;
  const uint32_t channels = capture_ ? capture_->channels() : kDefaultChannels;
  if (!encoder_.Initialize(rate, channels, kOpusBitrateKbps)) {
    const Status& status = encoder_.LastStatus();
    LOG_WARN("[AudioPipeline] Opus encoder init issue code=%d msg=%s hr=0x%08lX", status.code,
             status.message.c_str(), Hresult(status));
  }
  const bool started =
      capture_ && capture_->Start([this](const int16_t* samples, uint32_t frames,
                                         uint32_t block_channels, uint64_t timestamp_us) {
        OnBlock(samples, frames, block_channels, timestamp_us);
      });
  if (!started) {
    const Status status = capture_
                              ? capture_->LastStatus()
                              : Status::Failure(StatusCode::kResource,
                                                "Audio capture was not initialized before Start()");
    LOG_WARN("[AudioPipeline] Audio capture start failed code=%d msg=%s hr=0x%08lX", status.code,
             status.message.c_str(), Hresult(status));
  }
}

void AudioPipeline::Stop() {
  if (capture_) {
    capture_->Stop();
  }
  encoder_.Shutdown();
}

void AudioPipeline::OnBlock(const int16_t* samples, uint32_t frames, uint32_t channels,
                            uint64_t timestamp_us) {
  if (!audio_enabled_ || !streaming_->load()) {
    return;
  }
  switch (encoder_.Encode(samples, frames, channels, timestamp_us, packet_)) {
    case AudioEncodeResult::kPacket:
      sender_(sequence_++, packet_.timestamp_us, packet_.duration_ms, packet_.bytes.data(),
              static_cast<uint32_t>(packet_.bytes.size()));
      return;
    case AudioEncodeResult::kNeedMoreInput:
      return;
    case AudioEncodeResult::kFailed:
      if (encode_warning_.Allow(tick_ms_())) {
        const Status& status = encoder_.LastStatus();
        LOG_WARN("[AudioPipeline] Encode skipped/failure code=%d msg=%s hr=0x%08lX", status.code,
                 status.message.c_str(), Hresult(status));
      }
      return;
  }
}

}  // namespace orvane
