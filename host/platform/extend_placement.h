#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct PixelArea {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;

  bool operator==(const PixelArea&) const = default;
};

struct PixelSize {
  uint32_t width = 0;
  uint32_t height = 0;

  bool operator==(const PixelSize&) const = default;
};

// Where an added monitor goes and the framebuffer it needs.
struct ExtendPlacement {
  PixelArea monitor;
  // The framebuffer after the addition: the current one where the monitor fits inside it.
  PixelSize framebuffer;
  // Empty when the placement is possible; otherwise why the server cannot take it.
  std::string refusal;
};

// Places a width x height monitor right of `others`, top edge at y 0, and grows the
// framebuffer (never shrinks it) to hold it. `largest` is the biggest framebuffer the
// server allows.
ExtendPlacement PlaceExtendedMonitor(const std::vector<PixelArea>& others, PixelSize framebuffer,
                                     PixelSize largest, PixelSize requested);

// The physical size that keeps `pixels` at the density of `reference_pixels` shown on
// `reference_mm`; 96 dpi when the reference has no physical size.
uint32_t MillimetresAtSameDensity(uint32_t pixels, uint32_t reference_pixels,
                                  uint32_t reference_mm);

}  // namespace orvane
