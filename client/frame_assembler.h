#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane::client {

// Cuts the received byte stream into control frames (net/control_frame_codec.h). Bytes
// are kept across calls, so a wait that times out in the middle of a frame loses nothing.
class FrameAssembler {
 public:
  enum class Result {
    kNeedMore,   // no complete frame buffered yet
    kFrame,      // `frame` holds the next payload
    kBadLength,  // a length the host would refuse too: the stream cannot be trusted
  };

  void Append(std::span<const uint8_t> bytes);
  Result Next(std::vector<uint8_t>& frame);
  void Clear() { buffered_.clear(); }

 private:
  std::vector<uint8_t> buffered_;
};

}  // namespace orvane::client
