#pragma once

#include <cstdint>
#include <string>

#include "client/ogg_opus_writer.h"
#include "client/tone_meter.h"
#include "net/media_packet.h"

struct OpusDecoder;

namespace orvane::client::cli {

// The audio of one stream as a client plays it: every packet decoded with libopus at
// 48 kHz stereo, the tone in it measured, the packets optionally recorded to an Ogg Opus
// file. Used from one thread.
class AudioTrack {
 public:
  AudioTrack();
  ~AudioTrack();
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  // Records to `path` from now on; false when it cannot be written.
  bool Record(const std::string& path);
  void Add(const AudioPacket& packet);
  // Finishes the recording.
  void Close();
  // "Audio: ..." with the counts, durations, decoded time and the tone measured.
  std::string Summary() const;

 private:
  OpusDecoder* decoder_ = nullptr;
  OggOpusWriter recording_;
  ToneMeter meter_{48000};
  uint64_t packets_ = 0;
  uint64_t undecodable_ = 0;
  uint64_t decoded_frames_ = 0;
  uint8_t shortest_ms_ = 255;
  uint8_t longest_ms_ = 0;
};

}  // namespace orvane::client::cli
