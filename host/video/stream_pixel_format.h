#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "video/nv12_converter.h"

namespace orvane {

// The 32-bit layouts a screen-cast stream may deliver, numbered as the stream's format
// ids are, so that a format read from the stream needs no table to name it here. Letters
// give the byte order in memory; x is a byte without meaning.
enum class StreamPixelFormat : uint32_t {
  kRgbx = 7,
  kBgrx = 8,
  kXrgb = 9,
  kXbgr = 10,
  kRgba = 11,
  kBgra = 12,
  kArgb = 13,
  kAbgr = 14,
};

// What the consumer offers, best first: the capture pipeline's own order first, so that
// the common desktop needs only a copy.
inline constexpr StreamPixelFormat kOfferedStreamFormats[] = {
    StreamPixelFormat::kBgrx, StreamPixelFormat::kBgra, StreamPixelFormat::kRgbx,
    StreamPixelFormat::kRgba, StreamPixelFormat::kXrgb, StreamPixelFormat::kArgb,
    StreamPixelFormat::kXbgr, StreamPixelFormat::kAbgr};

// The format with this id when it is one of the offered ones.
std::optional<StreamPixelFormat> StreamPixelFormatFromId(uint32_t id);

// Copies `rect` of a stream image (rows `source_pitch` bytes apart, the rectangle at the
// same place in both images) into a BGRA image, reordering the bytes of each pixel.
void CopyStreamRectToBgra(StreamPixelFormat format, const uint8_t* source, size_t source_pitch,
                          PixelRect rect, uint8_t* bgra, size_t bgra_pitch);

}  // namespace orvane
