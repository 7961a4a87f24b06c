#include "video/stream_pixel_format.h"

#include <cstring>

namespace orvane {
namespace {

// Where blue, green, red and alpha lie in a source pixel; alpha from a layout without
// one is taken as opaque.
struct ByteOrder {
  int blue;
  int green;
  int red;
  int alpha;  // -1: none
};

ByteOrder OrderOf(StreamPixelFormat format) {
  switch (format) {
    case StreamPixelFormat::kRgbx:
      return {2, 1, 0, -1};
    case StreamPixelFormat::kBgrx:
      return {0, 1, 2, -1};
    case StreamPixelFormat::kXrgb:
      return {3, 2, 1, -1};
    case StreamPixelFormat::kXbgr:
      return {1, 2, 3, -1};
    case StreamPixelFormat::kRgba:
      return {2, 1, 0, 3};
    case StreamPixelFormat::kBgra:
      return {0, 1, 2, 3};
    case StreamPixelFormat::kArgb:
      return {3, 2, 1, 0};
    case StreamPixelFormat::kAbgr:
      return {1, 2, 3, 0};
  }
  return {0, 1, 2, 3};
}

}  // namespace

std::optional<StreamPixelFormat> StreamPixelFormatFromId(uint32_t id) {
  for (const StreamPixelFormat format : kOfferedStreamFormats) {
    if (static_cast<uint32_t>(format) == id) {
      return format;
    }
  }
  return std::nullopt;
}

void CopyStreamRectToBgra(StreamPixelFormat format, const uint8_t* source, size_t source_pitch,
                          PixelRect rect, uint8_t* bgra, size_t bgra_pitch) {
  const size_t row_bytes = size_t{rect.width} * 4;
  const size_t left = size_t{rect.x} * 4;
  if (format == StreamPixelFormat::kBgrx || format == StreamPixelFormat::kBgra) {
    for (uint32_t row = rect.y; row < rect.y + rect.height; ++row) {
      std::memcpy(bgra + row * bgra_pitch + left, source + row * source_pitch + left, row_bytes);
    }
    return;
  }
  const ByteOrder order = OrderOf(format);
  for (uint32_t row = rect.y; row < rect.y + rect.height; ++row) {
    const uint8_t* in = source + row * source_pitch + left;
    uint8_t* out = bgra + row * bgra_pitch + left;
    for (uint32_t column = 0; column < rect.width; ++column, in += 4, out += 4) {
      out[0] = in[order.blue];
      out[1] = in[order.green];
      out[2] = in[order.red];
      out[3] = order.alpha < 0 ? 255 : in[order.alpha];
    }
  }
}

}  // namespace orvane
