#include "video/damage_copy.h"

#include <algorithm>
#include <cstring>

namespace orvane {
namespace {

uint64_t Area(const PixelRect& rect) {
  return uint64_t{rect.width} * rect.height;
}

PixelRect BoundingBox(std::span<const PixelRect> rects) {
  uint32_t left = UINT32_MAX;
  uint32_t top = UINT32_MAX;
  uint32_t right = 0;
  uint32_t bottom = 0;
  for (const PixelRect& rect : rects) {
    left = std::min(left, rect.x);
    top = std::min(top, rect.y);
    right = std::max(right, rect.x + rect.width);
    bottom = std::max(bottom, rect.y + rect.height);
  }
  return {left, top, right - left, bottom - top};
}

}  // namespace

DamageCopyPlan PlanDamageCopy(std::span<const ScreenRect> damage, int32_t monitor_x,
                              int32_t monitor_y, uint32_t width, uint32_t height) {
  DamageCopyPlan plan;
  uint64_t damaged_area = 0;
  for (const ScreenRect& rect : damage) {
    const int64_t left = std::max<int64_t>(rect.x, monitor_x);
    const int64_t top = std::max<int64_t>(rect.y, monitor_y);
    const int64_t right =
        std::min<int64_t>(int64_t{rect.x} + rect.width, int64_t{monitor_x} + width);
    const int64_t bottom =
        std::min<int64_t>(int64_t{rect.y} + rect.height, int64_t{monitor_y} + height);
    if (right <= left || bottom <= top) {
      continue;
    }
    plan.rects.push_back(
        {static_cast<uint32_t>(left - monitor_x), static_cast<uint32_t>(top - monitor_y),
         static_cast<uint32_t>(right - left), static_cast<uint32_t>(bottom - top)});
    damaged_area += Area(plan.rects.back());
  }
  if (plan.rects.size() > kMaxDamageRects) {
    plan.rects = {BoundingBox(plan.rects)};
    damaged_area = Area(plan.rects.front());
  }
  if (2 * damaged_area >= uint64_t{width} * height) {
    plan.whole = true;
    plan.rects = {{0, 0, width, height}};
  }
  return plan;
}

void CopyBgraRect(const uint8_t* rect_pixels, PixelRect rect, uint8_t* frame, size_t frame_pitch) {
  const size_t row_bytes = size_t{rect.width} * 4;
  for (uint32_t row = 0; row < rect.height; ++row) {
    std::memcpy(frame + (size_t{rect.y} + row) * frame_pitch + size_t{rect.x} * 4,
                rect_pixels + row * row_bytes, row_bytes);
  }
}

}  // namespace orvane
