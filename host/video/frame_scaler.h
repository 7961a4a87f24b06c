#pragma once

#include <cstdint>
#include <vector>

#include "video/captured_frame.h"

namespace orvane {

// Nearest-neighbour BGRA scaling into a buffer of its own, for captures whose size
// differs from the stream size the encoder was configured for.
class FrameScaler {
 public:
  // Returns a FrameReady frame of width x height pointing into this scaler's buffer
  // (valid until the next call), or a Failed frame when the source does not fit its
  // memory or a size is zero.
  CapturedFrame Scale(const CapturedFrame& source, uint32_t width, uint32_t height);

 private:
  std::vector<uint8_t> buffer_;
  // Byte offset within a source row for each destination column; rebuilt only when
  // the source or destination width changes.
  std::vector<uint32_t> column_offsets_;
  uint32_t offsets_source_width_ = 0;
};

}  // namespace orvane
