#include "audio/fake_audio_capture.h"

#include <chrono>
#include <cmath>
#include <numbers>

#include "platform/clock.h"

namespace orvane::testing {

std::vector<int16_t> Sine(uint32_t frames, uint32_t channels, double frequency,
                          uint32_t sample_rate, double amplitude, uint64_t first_frame) {
  std::vector<int16_t> samples(size_t{frames} * channels);
  for (uint32_t frame = 0; frame < frames; ++frame) {
    const double phase =
        2.0 * std::numbers::pi * frequency * static_cast<double>(first_frame + frame) / sample_rate;
    const auto value = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(phase)));
    for (uint32_t channel = 0; channel < channels; ++channel) {
      samples[size_t{frame} * channels + channel] = value;
    }
  }
  return samples;
}

FakeAudioCapture::FakeAudioCapture(std::shared_ptr<FakeCaptureRecord> record, Options options)
    : record_(std::move(record)), options_(options) {}

FakeAudioCapture::~FakeAudioCapture() {
  Stop();
}

bool FakeAudioCapture::Initialize() {
  ++record_->initialized;
  initialized_ = options_.works;
  status_ = options_.works ? Status::Success()
                           : Status::Failure(StatusCode::kResource,
                                             "Default audio endpoint is unavailable", 0x80070490u);
  return initialized_;
}

bool FakeAudioCapture::Start(PcmCallback callback) {
  if (running_.load()) {
    return true;
  }
  if (!initialized_) {
    status_ =
        Status::Failure(StatusCode::kResource, "Audio capture was not initialized before Start()");
    return false;
  }
  callback_ = std::move(callback);
  running_ = true;
  ++record_->started;
  if (options_.tone) {
    tone_thread_ = std::thread(&FakeAudioCapture::PlayTone, this);
  }
  return true;
}

void FakeAudioCapture::Stop() {
  if (!running_.exchange(false)) {
    return;
  }
  if (tone_thread_.joinable()) {
    tone_thread_.join();
  }
  callback_ = nullptr;
  ++record_->stopped;
}

bool FakeAudioCapture::Deliver(uint32_t frames, uint64_t timestamp_us, uint32_t channels) {
  if (!running_.load()) {
    return false;
  }
  const uint32_t block_channels = channels != 0 ? channels : options_.channels;
  const std::vector<int16_t> block =
      Sine(frames, block_channels, 1000.0, options_.sample_rate, 0.5, next_frame_);
  next_frame_ += frames;
  callback_(block.data(), frames, block_channels, timestamp_us);
  return true;
}

void FakeAudioCapture::PlayTone() {
  const uint32_t block_frames = options_.sample_rate / 100;
  while (running_.load()) {
    Deliver(block_frames, MonotonicMicros());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace orvane::testing
