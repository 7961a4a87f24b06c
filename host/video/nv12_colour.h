#pragma once

#include <cstdint>

namespace orvane {

// The colour of every NV12 picture the host makes, whichever converter made it, as the
// code points of ITU-T H.273 that H.264 and HEVC carry in their VUI. Decoders that are not
// told guess, and a guess of BT.709 or full range shifts every colour on the client.
struct Nv12Colour {
  // The capture is sRGB: BT.709 primaries with the sRGB transfer curve.
  uint8_t primaries = 1;
  uint8_t transfer = 13;
  // BT.601 (SMPTE 170M) coefficients, the integer formula's.
  uint8_t matrix = 6;
  // Y in 16..235 and chroma in 16..240.
  bool full_range = false;
};

inline constexpr Nv12Colour kNv12Colour{};

}  // namespace orvane
