#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane {

// Destination of a conversion: the Y plane and the interleaved UV plane, each with its
// own row pitch in bytes. The Y plane takes height rows of width bytes; the UV plane
// takes height / 2 rows of width bytes (U at even offsets, V at odd ones).
struct Nv12Planes {
  uint8_t* y = nullptr;
  size_t y_pitch = 0;
  uint8_t* uv = nullptr;
  size_t uv_pitch = 0;
};

// The instruction sets a conversion can use; all give the same bytes.
enum class Nv12Kernel { kSse2, kAvx2 };

// The fastest kernel this processor runs, decided once.
Nv12Kernel BestNv12Kernel();
bool Nv12KernelAvailable(Nv12Kernel kernel);

// Converts a BGRA image (byte 3 of each pixel ignored) to BT.601 limited-range NV12 with
// the host's integer formula: the colour kNv12Colour declares. Chroma comes from the
// top-left pixel of each 2x2 block, not an average. An odd last row gives no chroma row;
// on an odd width the last UV byte of each row holds the last column's U, and its V has
// no place in the row.
// Returns false without writing when a pitch is shorter than a row or a plane is missing.
bool ConvertBgraToNv12(const uint8_t* bgra, size_t bgra_pitch, uint32_t width, uint32_t height,
                       const Nv12Planes& out);
// The same with a chosen kernel, which must be available.
bool ConvertBgraToNv12(Nv12Kernel kernel, const uint8_t* bgra, size_t bgra_pitch, uint32_t width,
                       uint32_t height, const Nv12Planes& out);

struct PixelRect {
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// Converts only the part of a width x height image that `rect` covers, widened to whole
// 2x2 chroma blocks and cut to the image; the rest of the planes keeps its bytes. What it
// writes equals what a conversion of the whole image writes there. `bgra` and `out` are
// the whole image's. Returns false like ConvertBgraToNv12.
bool ConvertBgraRectToNv12(const uint8_t* bgra, size_t bgra_pitch, uint32_t width, uint32_t height,
                           PixelRect rect, const Nv12Planes& out);

}  // namespace orvane
