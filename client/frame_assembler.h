#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane::client {

// Cuts the received byte stream into frames (a 4-byte big-endian length, then the
// payload). Bytes are kept across calls, so a wait that times out in the middle of a
// frame loses nothing.
class FrameAssembler {
 public:
  // Frames above this are refused, as the host refuses them from the client.
  static constexpr uint32_t kMaxFrameSize = 1048576;

  enum class Result {
    kNeedMore,   // no complete frame buffered yet
    kFrame,      // `frame` holds the next payload
    kBadLength,  // a length of 0 or above kMaxFrameSize: the stream cannot be trusted
  };

  void Append(std::span<const uint8_t> bytes);
  Result Next(std::vector<uint8_t>& frame);
  void Clear() { buffered_.clear(); }

 private:
  std::vector<uint8_t> buffered_;
};

}  // namespace orvane::client
