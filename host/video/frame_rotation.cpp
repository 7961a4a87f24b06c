#include "video/frame_rotation.h"

#include <algorithm>
#include <cstring>

namespace orvane {
namespace {

// Square tiles keep both the rows read and the rows written in cache while turning.
constexpr uint32_t kTile = 32;

// The source pixel that lands on upright pixel (x, y).
struct SourcePixel {
  uint32_t x;
  uint32_t y;
};

SourcePixel SourceOf(FrameRotation rotation, uint32_t x, uint32_t y, uint32_t source_width,
                     uint32_t source_height) {
  switch (rotation) {
    case FrameRotation::kClockwise90:
      return {y, source_height - 1 - x};
    case FrameRotation::kClockwise180:
      return {source_width - 1 - x, source_height - 1 - y};
    case FrameRotation::kClockwise270:
      return {source_width - 1 - y, x};
    case FrameRotation::kNone:
      break;
  }
  return {x, y};
}

}  // namespace

FrameRotation RotationFromDxgi(uint32_t dxgi_rotation) {
  switch (dxgi_rotation) {
    case 2:
      return FrameRotation::kClockwise90;
    case 3:
      return FrameRotation::kClockwise180;
    case 4:
      return FrameRotation::kClockwise270;
    default:
      return FrameRotation::kNone;
  }
}

bool SwapsSides(FrameRotation rotation) {
  return rotation == FrameRotation::kClockwise90 || rotation == FrameRotation::kClockwise270;
}

FrameSize UprightSize(FrameRotation rotation, uint32_t width, uint32_t height) {
  return SwapsSides(rotation) ? FrameSize{height, width} : FrameSize{width, height};
}

RotationBlit PlanRotationBlit(FrameRotation rotation, uint32_t width, uint32_t height) {
  return RotationBlit{static_cast<uint32_t>(rotation), FrameSize{width, height},
                      UprightSize(rotation, width, height)};
}

CapturedFrame RotateToUpright(const CapturedFrame& frame, FrameRotation rotation,
                              std::vector<uint8_t>& buffer) {
  if (rotation == FrameRotation::kNone) {
    return frame;
  }
  if (!FrameFitsMemory(frame)) {
    return CapturedFrame{};
  }
  const FrameSize size = UprightSize(rotation, frame.width, frame.height);
  const size_t pitch = size_t{size.width} * 4;
  buffer.resize(pitch * size.height);
  for (uint32_t tile_y = 0; tile_y < size.height; tile_y += kTile) {
    for (uint32_t tile_x = 0; tile_x < size.width; tile_x += kTile) {
      const uint32_t end_y = std::min(tile_y + kTile, size.height);
      const uint32_t end_x = std::min(tile_x + kTile, size.width);
      for (uint32_t y = tile_y; y < end_y; ++y) {
        uint8_t* out = buffer.data() + y * pitch;
        for (uint32_t x = tile_x; x < end_x; ++x) {
          const SourcePixel from = SourceOf(rotation, x, y, frame.width, frame.height);
          std::memcpy(out + size_t{x} * 4,
                      frame.data + size_t{from.y} * frame.row_pitch + size_t{from.x} * 4, 4);
        }
      }
    }
  }
  CapturedFrame upright = frame;
  upright.data = buffer.data();
  upright.row_pitch = static_cast<uint32_t>(pitch);
  upright.width = size.width;
  upright.height = size.height;
  upright.data_size = buffer.size();
  // A packed NV12 copy would still show the unturned picture.
  upright.nv12 = nullptr;
  return upright;
}

}  // namespace orvane
