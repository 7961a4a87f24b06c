#include "platform/extend_placement.h"

#include <algorithm>
#include <cstdint>

namespace orvane {
namespace {

// X11 positions are signed 16-bit: nothing may end beyond this.
constexpr int64_t kLargestCoordinate = INT16_MAX;

}  // namespace

ExtendPlacement PlaceExtendedMonitor(const std::vector<PixelArea>& others, PixelSize framebuffer,
                                     PixelSize largest, PixelSize requested) {
  int64_t right = 0;
  for (const PixelArea& area : others) {
    right = std::max(right, int64_t{area.x} + area.width);
  }
  ExtendPlacement placement;
  placement.monitor = {static_cast<int32_t>(std::min(right, kLargestCoordinate)), 0,
                       requested.width, requested.height};
  const int64_t needed_width = std::max<int64_t>(framebuffer.width, right + requested.width);
  const int64_t needed_height = std::max<int64_t>(framebuffer.height, requested.height);
  placement.framebuffer = {static_cast<uint32_t>(std::min(needed_width, int64_t{UINT32_MAX})),
                           static_cast<uint32_t>(needed_height)};
  if (needed_width > largest.width || needed_height > largest.height ||
      right + requested.width > kLargestCoordinate) {
    placement.refusal = "the screen would have to be " + std::to_string(needed_width) + "x" +
                        std::to_string(needed_height) + " and the server allows at most " +
                        std::to_string(largest.width) + "x" + std::to_string(largest.height);
  }
  return placement;
}

uint32_t MillimetresAtSameDensity(uint32_t pixels, uint32_t reference_pixels,
                                  uint32_t reference_mm) {
  if (reference_pixels == 0 || reference_mm == 0) {
    return static_cast<uint32_t>(uint64_t{pixels} * 254 / 960);
  }
  return static_cast<uint32_t>(uint64_t{pixels} * reference_mm / reference_pixels);
}

}  // namespace orvane
