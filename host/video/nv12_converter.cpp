#include "video/nv12_converter.h"

#include <algorithm>

#include "video/nv12_row_kernels.h"

namespace orvane {
namespace {

Nv12RowKernel RowKernel(Nv12Kernel kernel) {
  return kernel == Nv12Kernel::kAvx2 ? ConvertNv12RowAvx2 : ConvertNv12RowSse2;
}

bool PlanesFit(const uint8_t* bgra, size_t bgra_pitch, uint32_t width, uint32_t height,
               const Nv12Planes& out) {
  const bool has_chroma_rows = height >= 2;
  return bgra != nullptr && out.y != nullptr && (!has_chroma_rows || out.uv != nullptr) &&
         bgra_pitch >= size_t{width} * 4 && out.y_pitch >= width &&
         (!has_chroma_rows || out.uv_pitch >= width);
}

// `end` rounded up to even, but never past `limit`.
uint32_t RoundUpToEven(uint64_t end, uint32_t limit) {
  return static_cast<uint32_t>(std::min<uint64_t>(limit, (end + 1) & ~uint64_t{1}));
}

}  // namespace

bool CpuHasAvx2() {
  // Also false when the system does not save the AVX registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

Nv12Kernel BestNv12Kernel() {
  static const Nv12Kernel best = CpuHasAvx2() ? Nv12Kernel::kAvx2 : Nv12Kernel::kSse2;
  return best;
}

bool Nv12KernelAvailable(Nv12Kernel kernel) {
  return kernel == Nv12Kernel::kSse2 || BestNv12Kernel() == Nv12Kernel::kAvx2;
}

bool ConvertBgraToNv12(const uint8_t* bgra, size_t bgra_pitch, uint32_t width, uint32_t height,
                       const Nv12Planes& out) {
  return ConvertBgraToNv12(BestNv12Kernel(), bgra, bgra_pitch, width, height, out);
}

bool ConvertBgraToNv12(Nv12Kernel kernel, const uint8_t* bgra, size_t bgra_pitch, uint32_t width,
                       uint32_t height, const Nv12Planes& out) {
  if (width == 0 || height == 0) {
    return true;
  }
  if (!PlanesFit(bgra, bgra_pitch, width, height, out)) {
    return false;
  }
  const Nv12RowKernel convert_row = RowKernel(kernel);
  for (uint32_t row = 0; row < height; ++row) {
    // Chroma rows come from even source rows that have a partner row below them.
    uint8_t* uv_row =
        row % 2 == 0 && row + 1 < height ? out.uv + (row / 2) * out.uv_pitch : nullptr;
    convert_row(bgra + row * bgra_pitch, width, out.y + row * out.y_pitch, uv_row);
  }
  return true;
}

bool ConvertBgraRectToNv12(const uint8_t* bgra, size_t bgra_pitch, uint32_t width, uint32_t height,
                           PixelRect rect, const Nv12Planes& out) {
  if (width == 0 || height == 0) {
    return true;
  }
  if (!PlanesFit(bgra, bgra_pitch, width, height, out)) {
    return false;
  }
  // Whole blocks: a block's chroma comes from its top-left pixel. Cut to the image, an odd
  // last row or column is converted as the whole image converts it, since the part then
  // ends where the image ends.
  const uint32_t left = std::min(rect.x, width) & ~1u;
  const uint32_t top = std::min(rect.y, height) & ~1u;
  const uint32_t right =
      RoundUpToEven(uint64_t{std::min(rect.x, width)} + std::min(rect.width, width), width);
  const uint32_t bottom =
      RoundUpToEven(uint64_t{std::min(rect.y, height)} + std::min(rect.height, height), height);
  if (right <= left || bottom <= top) {
    return true;
  }
  const Nv12Planes part{out.y + top * out.y_pitch + left, out.y_pitch,
                        out.uv != nullptr ? out.uv + (top / 2) * out.uv_pitch + left : nullptr,
                        out.uv_pitch};
  return ConvertBgraToNv12(BestNv12Kernel(), bgra + top * bgra_pitch + 4 * size_t{left}, bgra_pitch,
                           right - left, bottom - top, part);
}

}  // namespace orvane
