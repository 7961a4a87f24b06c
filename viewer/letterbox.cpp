#include "viewer/letterbox.h"

#include <algorithm>
#include <cmath>

namespace orvane::viewer {
namespace {

// Maps a window coordinate across a picture edge of `length` window pixels onto a stream
// axis of `extent` pixels.
float ToAxis(float offset, int length, int extent) {
  const float pixel =
      std::floor((offset + 0.5f) * static_cast<float>(extent) / static_cast<float>(length));
  const float clamped = std::clamp(pixel, 0.0f, static_cast<float>(extent - 1));
  if (extent <= 1) {
    return 0.0f;
  }
  return std::min((clamped + 0.5f) / static_cast<float>(extent - 1), 1.0f);
}

}  // namespace

PictureRect Letterbox(int window_width, int window_height, int picture_width, int picture_height) {
  if (window_width <= 0 || window_height <= 0 || picture_width <= 0 || picture_height <= 0) {
    return {};
  }
  // Compared in 64 bits: width x height of two 16k sides overflows 32.
  const int64_t wide = int64_t{window_width} * picture_height;
  const int64_t tall = int64_t{window_height} * picture_width;
  PictureRect rect;
  if (wide > tall) {
    rect.height = window_height;
    rect.width = static_cast<int>(tall / picture_height);
  } else {
    rect.width = window_width;
    rect.height = static_cast<int>(wide / picture_width);
  }
  rect.x = (window_width - rect.width) / 2;
  rect.y = (window_height - rect.height) / 2;
  return rect;
}

std::optional<NormalizedPoint> WindowToStream(const PictureRect& picture, int stream_width,
                                              int stream_height, float window_x, float window_y) {
  const float dx = window_x - static_cast<float>(picture.x);
  const float dy = window_y - static_cast<float>(picture.y);
  if (picture.width <= 0 || picture.height <= 0 || stream_width <= 0 || stream_height <= 0 ||
      dx < 0 || dy < 0 || dx >= static_cast<float>(picture.width) ||
      dy >= static_cast<float>(picture.height)) {
    return std::nullopt;
  }
  return NormalizedPoint{ToAxis(dx, picture.width, stream_width),
                         ToAxis(dy, picture.height, stream_height)};
}

}  // namespace orvane::viewer
