#pragma once

#include <cstdint>

namespace orvane {

// One source row of BGRA into one Y row and, when `uv_row` is not null, the UV row of its
// 2x2 blocks. Every kernel gives the same bytes as the integer formula; they differ only
// in the instructions they need.
using Nv12RowKernel = void (*)(const uint8_t* bgra, uint32_t width, uint8_t* y_row,
                               uint8_t* uv_row);

void ConvertNv12RowSse2(const uint8_t* bgra, uint32_t width, uint8_t* y_row, uint8_t* uv_row);
// Needs a processor with AVX2 (see CpuHasAvx2).
void ConvertNv12RowAvx2(const uint8_t* bgra, uint32_t width, uint8_t* y_row, uint8_t* uv_row);

bool CpuHasAvx2();

}  // namespace orvane
