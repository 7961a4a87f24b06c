#pragma once

#include <SDL_audio.h>

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "viewer/jitter_buffer.h"

struct OpusDecoder;

namespace orvane::viewer {

// Plays the host's Opus packets through the default SDL audio device, 48 kHz stereo,
// behind a jitter buffer. Packets come from the media thread; the device pulls from its
// own thread.
class AudioPlayer {
 public:
  AudioPlayer() = default;
  ~AudioPlayer();
  AudioPlayer(const AudioPlayer&) = delete;
  AudioPlayer& operator=(const AudioPlayer&) = delete;

  // False, with last_error set, when there is no decoder or no audio device.
  bool Open();
  void Close();
  bool is_open() const { return device_ != 0; }

  void Add(std::span<const uint8_t> opus_packet);

  const std::string& last_error() const { return last_error_; }

 private:
  static void Fill(void* self, uint8_t* stream, int length);

  OpusDecoder* decoder_ = nullptr;
  SDL_AudioDeviceID device_ = 0;
  std::vector<int16_t> decoded_;
  std::mutex mutex_;
  JitterBuffer buffer_{JitterBuffer::Settings{}};
  std::string last_error_;
};

}  // namespace orvane::viewer
