#include "video/captured_frame.h"

namespace orvane {

bool FrameFitsMemory(const CapturedFrame& frame) {
  if (frame.data == nullptr || frame.width == 0 || frame.height == 0) {
    return false;
  }
  const uint64_t row_bytes = uint64_t{frame.width} * 4;
  if (frame.row_pitch < row_bytes) {
    return false;
  }
  const uint64_t needed = uint64_t{frame.row_pitch} * (frame.height - 1) + row_bytes;
  return needed <= frame.data_size;
}

}  // namespace orvane
