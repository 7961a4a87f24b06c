#include "viewer/audio_player.h"

#include <opus.h>

#include <cstdio>

namespace orvane::viewer {
namespace {

constexpr int kSampleRate = 48000;
constexpr int kChannels = 2;
// The longest Opus frame, 120 ms.
constexpr int kMaxFrameSamples = kSampleRate * 120 / 1000;
// 10 ms a callback: a small device buffer adds little to the jitter buffer's delay.
constexpr uint16_t kDeviceSamples = 480;

}  // namespace

AudioPlayer::~AudioPlayer() {
  Close();
}

bool AudioPlayer::Open() {
  int error = 0;
  decoder_ = opus_decoder_create(kSampleRate, kChannels, &error);
  if (decoder_ == nullptr) {
    last_error_ = std::string("no Opus decoder: ") + opus_strerror(error);
    return false;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = kSampleRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kChannels;
  wanted.samples = kDeviceSamples;
  wanted.callback = &AudioPlayer::Fill;
  wanted.userdata = this;
  SDL_AudioSpec obtained{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (device_ == 0) {
    last_error_ = std::string("no audio device: ") + SDL_GetError();
    Close();
    return false;
  }
  decoded_.resize(size_t{kMaxFrameSamples} * kChannels);
  std::printf("Sound through %s\n", SDL_GetCurrentAudioDriver());
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void AudioPlayer::Close() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (decoder_ != nullptr) {
    opus_decoder_destroy(decoder_);
    decoder_ = nullptr;
  }
}

void AudioPlayer::Add(std::span<const uint8_t> opus_packet) {
  if (decoder_ == nullptr || device_ == 0) {
    return;
  }
  const int frames =
      opus_decode(decoder_, opus_packet.data(), static_cast<opus_int32>(opus_packet.size()),
                  decoded_.data(), kMaxFrameSamples, 0);
  if (frames <= 0) {
    return;
  }
  std::lock_guard lock(mutex_);
  buffer_.Push(std::span<const int16_t>(decoded_.data(), size_t(frames) * kChannels));
}

void AudioPlayer::Fill(void* self, uint8_t* stream, int length) {
  auto* player = static_cast<AudioPlayer*>(self);
  std::lock_guard lock(player->mutex_);
  player->buffer_.Pull(std::span<int16_t>(reinterpret_cast<int16_t*>(stream),
                                          static_cast<size_t>(length) / sizeof(int16_t)));
}

}  // namespace orvane::viewer
