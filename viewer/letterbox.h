#pragma once

#include <optional>

namespace orvane::viewer {

struct PictureRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool operator==(const PictureRect&) const = default;
};

// The largest rectangle of the picture's aspect that fits the window, centred: bars above
// and below or left and right, never a stretched picture. Empty when either size is.
PictureRect Letterbox(int window_width, int window_height, int picture_width, int picture_height);

struct NormalizedPoint {
  float x = 0;
  float y = 0;
};

// Where a window point falls on the stream, as the host's input coordinates: 0 is the
// first pixel, 1 the last. The host truncates (extent - 1) x value to a pixel, so each
// value aims at the middle of its stream pixel; a pixel hit exactly on the host's side
// would otherwise land one to the left half of the time. nullopt on the bars.
std::optional<NormalizedPoint> WindowToStream(const PictureRect& picture, int stream_width,
                                              int stream_height, float window_x, float window_y);

}  // namespace orvane::viewer
