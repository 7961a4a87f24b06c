#pragma once

#include <cstdint>
#include <vector>

#include "video/captured_frame.h"

namespace orvane {

// How far a captured image must turn clockwise to stand the way the desktop shows it.
// Desktop Duplication hands over a rotated monitor's image as the panel scans it out,
// not as the user sees it. The value is the number of clockwise quarter turns.
enum class FrameRotation : uint8_t {
  kNone = 0,
  kClockwise90 = 1,
  kClockwise180 = 2,
  kClockwise270 = 3
};

// The turn for a DXGI_MODE_ROTATION value (1 identity, 2 90°, 3 180°, 4 270°; 0 means
// unspecified and, like any unknown value, no turn).
FrameRotation RotationFromDxgi(uint32_t dxgi_rotation);

// Whether the turn swaps width and height.
bool SwapsSides(FrameRotation rotation);

struct FrameSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// The size of a width x height image once turned.
FrameSize UprightSize(FrameRotation rotation, uint32_t width, uint32_t height);

// What a GPU blit that turns an image upright is asked for: the clockwise quarter turns
// (the Direct3D 11 video processor's rotation value), the source rectangle in the
// unturned image and the target rectangle in the upright one.
struct RotationBlit {
  uint32_t quarter_turns = 0;
  FrameSize source;
  FrameSize target;
};
RotationBlit PlanRotationBlit(FrameRotation rotation, uint32_t width, uint32_t height);

// Turns a BGRA frame into `buffer` (packed rows) and returns the upright frame, which
// points into `buffer`. A frame that needs no turn is returned as it is; one that does
// not fit its memory comes back Failed.
CapturedFrame RotateToUpright(const CapturedFrame& frame, FrameRotation rotation,
                              std::vector<uint8_t>& buffer);

}  // namespace orvane
