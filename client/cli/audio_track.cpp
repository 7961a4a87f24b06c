#include "client/cli/audio_track.h"

#include <opus/opus.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace orvane::client::cli {
namespace {

constexpr uint32_t kRate = 48000;
constexpr int kChannels = 2;
// The longest Opus packet lasts 120 ms.
constexpr int kMaxPacketFrames = kRate * 120 / 1000;
// The decoder's start-up and the fade-in of a sound are not part of a steady tone.
constexpr uint64_t kUnmeasuredFrames = kRate / 10;

}  // namespace

AudioTrack::AudioTrack() {
  int error = 0;
  decoder_ = opus_decoder_create(kRate, kChannels, &error);
}

AudioTrack::~AudioTrack() {
  Close();
  if (decoder_ != nullptr) {
    opus_decoder_destroy(decoder_);
  }
}

bool AudioTrack::Record(const std::string& path) {
  return recording_.Open(path, kChannels, kRate);
}

void AudioTrack::Close() {
  if (recording_.is_open()) {
    recording_.Close();
  }
}

void AudioTrack::Add(const AudioPacket& packet) {
  ++packets_;
  shortest_ms_ = std::min(shortest_ms_, packet.header.duration_ms);
  longest_ms_ = std::max(longest_ms_, packet.header.duration_ms);
  std::vector<int16_t> pcm(size_t{kMaxPacketFrames} * kChannels);
  const int frames = decoder_ == nullptr
                         ? -1
                         : opus_decode(decoder_, packet.payload.data(),
                                       static_cast<opus_int32>(packet.payload.size()), pcm.data(),
                                       kMaxPacketFrames, 0);
  if (frames < 0) {
    ++undecodable_;
    return;
  }
  const uint64_t skip = decoded_frames_ < kUnmeasuredFrames
                            ? std::min<uint64_t>(kUnmeasuredFrames - decoded_frames_, frames)
                            : 0;
  decoded_frames_ += static_cast<uint64_t>(frames);
  meter_.Add(std::span<const int16_t>(pcm).subspan(
                 skip * kChannels, (static_cast<size_t>(frames) - skip) * kChannels),
             kChannels);
  if (recording_.is_open()) {
    recording_.Write(packet.payload, static_cast<uint32_t>(frames));
  }
}

std::string AudioTrack::Summary() const {
  char text[256];
  const std::optional<double> frequency = meter_.FrequencyHz();
  const std::optional<double> level = meter_.LevelDbfs();
  char tone[96] = "no tone";
  if (frequency && level) {
    std::snprintf(tone, sizeof(tone), "tone %.1f Hz at %.1f dBFS", *frequency, *level);
  }
  std::snprintf(text, sizeof(text),
                "Audio: %llu packets, %llu undecodable, durations %u-%u ms, decoded %.2f s, %s",
                static_cast<unsigned long long>(packets_),
                static_cast<unsigned long long>(undecodable_), packets_ != 0 ? shortest_ms_ : 0u,
                static_cast<unsigned>(longest_ms_), static_cast<double>(decoded_frames_) / kRate,
                tone);
  return text;
}

}  // namespace orvane::client::cli
