#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

// One Opus packet and where it sits in time.
struct EncodedAudioPacket {
  std::vector<uint8_t> bytes;
  uint64_t timestamp_us = 0;  // capture time of its first sample
  uint8_t duration_ms = 20;
};

enum class AudioEncodeResult {
  kPacket,         // the output holds a packet
  kNeedMoreInput,  // no packet yet, which is no failure: the input is kept
  kFailed,         // LastStatus says why
};

}  // namespace orvane
