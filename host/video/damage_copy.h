#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "video/nv12_converter.h"

namespace orvane {

// A rectangle the display system reports as changed, in screen coordinates.
struct ScreenRect {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// What a capturer copies for one frame: the damaged rectangles cut to its monitor and in
// the monitor's coordinates, or the whole monitor when that costs less.
struct DamageCopyPlan {
  bool whole = false;
  std::vector<PixelRect> rects;
};

// Beyond this many rectangles one copy of their bounding box costs less than the round
// trips of copying each.
inline constexpr size_t kMaxDamageRects = 32;

// The plan for `damage` on a monitor at (monitor_x, monitor_y) of width x height. The
// whole monitor is copied once the rectangles (or their bounding box) cover half of it.
DamageCopyPlan PlanDamageCopy(std::span<const ScreenRect> damage, int32_t monitor_x,
                              int32_t monitor_y, uint32_t width, uint32_t height);

// Copies a rectangle of BGRA pixels, packed (rows of rect.width * 4 bytes), into its place
// in a frame whose rows are `frame_pitch` bytes apart.
void CopyBgraRect(const uint8_t* rect_pixels, PixelRect rect, uint8_t* frame, size_t frame_pitch);

}  // namespace orvane
