#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "video/captured_frame.h"

namespace orvane::testing {

// Test pictures keep one letter per BGRA pixel in the blue byte, with fixed values in the
// other three, so that a pixel taken apart or mixed with its neighbours shows.
inline void PutLetter(uint8_t* pixel, char letter) {
  pixel[0] = static_cast<uint8_t>(letter);
  pixel[1] = 1;
  pixel[2] = 2;
  pixel[3] = 0xFF;
}

// The letters of a frame, row by row; a pixel whose other bytes moved apart shows '?'.
inline std::vector<std::string> Letters(const CapturedFrame& frame) {
  std::vector<std::string> rows;
  for (uint32_t y = 0; y < frame.height; ++y) {
    std::string row;
    for (uint32_t x = 0; x < frame.width; ++x) {
      const uint8_t* pixel = frame.data + size_t{y} * frame.row_pitch + size_t{x} * 4;
      const bool whole = pixel[1] == 1 && pixel[2] == 2 && pixel[3] == 0xFF;
      row.push_back(whole ? static_cast<char>(pixel[0]) : '?');
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace orvane::testing
