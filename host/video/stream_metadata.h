#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "video/damage_copy.h"

namespace orvane {

// One entry of a stream buffer's damage list, as the producer wrote it.
struct StreamRegion {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// The changed rectangles a buffer's damage list names. The list ends at its first empty
// entry (producers leave the rest of the fixed-size list unwritten).
std::vector<ScreenRect> StreamDamage(std::span<const StreamRegion> regions);

// A cursor image carried in a buffer's metadata, converted to BGRA.
struct StreamCursorBitmap {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;
};

// The cursor as one buffer's metadata describes it.
struct StreamCursor {
  // False when the producer says no cursor is over the stream (it is hidden or away):
  // cursor id 0, or an image without pixels.
  bool visible = false;
  // Relative to the stream's top-left corner.
  int32_t x = 0;
  int32_t y = 0;
  int32_t hotspot_x = 0;
  int32_t hotspot_y = 0;
  // Present only when the image changed with this buffer.
  std::optional<StreamCursorBitmap> bitmap;
};

// Reads cursor metadata laid out as the stream protocol defines it (a cursor record of
// seven 32-bit fields, the last the offset of an optional bitmap record of five, which
// gives the pixels' format, size, row stride and offset). Nothing when the block is too
// short; a bitmap that reaches past the block, has an unknown format or a stride shorter
// than its rows is ignored. A bitmap record without pixels hides the cursor.
std::optional<StreamCursor> ParseStreamCursor(const uint8_t* meta, size_t meta_size);

// The byte size of the cursor metadata block a consumer asks for, for bitmaps up to
// width x height.
size_t StreamCursorMetaSize(uint32_t width, uint32_t height);

}  // namespace orvane
