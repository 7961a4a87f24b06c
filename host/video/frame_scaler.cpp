#include "video/frame_scaler.h"

#include <cstring>

namespace orvane {
namespace {

// Source index whose pixel centre is nearest to the centre of destination index `i`.
uint32_t NearestSource(uint32_t i, uint32_t source_count, uint32_t destination_count) {
  return static_cast<uint32_t>((uint64_t{2} * i + 1) * source_count /
                               (uint64_t{2} * destination_count));
}

}  // namespace

CapturedFrame FrameScaler::Scale(const CapturedFrame& source, uint32_t width, uint32_t height) {
  CapturedFrame scaled;
  if (width == 0 || height == 0 || !FrameFitsMemory(source)) {
    return scaled;
  }
  if (column_offsets_.size() != width || offsets_source_width_ != source.width) {
    column_offsets_.resize(width);
    for (uint32_t x = 0; x < width; ++x) {
      column_offsets_[x] = NearestSource(x, source.width, width) * 4;
    }
    offsets_source_width_ = source.width;
  }
  const size_t pitch = size_t{width} * 4;
  buffer_.resize(pitch * height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source_row =
        source.data + size_t{source.row_pitch} * NearestSource(y, source.height, height);
    uint8_t* row = buffer_.data() + pitch * y;
    for (uint32_t x = 0; x < width; ++x) {
      std::memcpy(row + size_t{x} * 4, source_row + column_offsets_[x], 4);
    }
  }
  scaled.status = CaptureStatus::kFrameReady;
  scaled.data = buffer_.data();
  scaled.row_pitch = static_cast<uint32_t>(pitch);
  scaled.width = width;
  scaled.height = height;
  scaled.protected_content_masked = source.protected_content_masked;
  scaled.data_size = buffer_.size();
  return scaled;
}

}  // namespace orvane
