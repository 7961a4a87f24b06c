#include "video/stream_metadata.h"

#include <cstring>

#include "video/stream_pixel_format.h"

namespace orvane {
namespace {

constexpr size_t kCursorRecordSize = 7 * 4;
constexpr size_t kBitmapRecordSize = 5 * 4;

// Native byte order, as the producer on this machine wrote it.
template <typename T>
T Field(const uint8_t* record, size_t index) {
  T value;
  std::memcpy(&value, record + index * 4, sizeof value);
  return value;
}

std::optional<StreamCursorBitmap> ParseBitmap(const uint8_t* meta, size_t meta_size,
                                              uint32_t bitmap_offset) {
  if (bitmap_offset < kCursorRecordSize || bitmap_offset > meta_size ||
      meta_size - bitmap_offset < kBitmapRecordSize) {
    return std::nullopt;
  }
  const uint8_t* record = meta + bitmap_offset;
  const std::optional<StreamPixelFormat> format =
      StreamPixelFormatFromId(Field<uint32_t>(record, 0));
  const uint32_t pixels_offset = Field<uint32_t>(record, 4);
  if (pixels_offset == 0) {
    // A bitmap record without pixels: the cursor image is empty.
    return StreamCursorBitmap{};
  }
  const uint32_t width = Field<uint32_t>(record, 1);
  const uint32_t height = Field<uint32_t>(record, 2);
  const int32_t stride = Field<int32_t>(record, 3);
  if (!format || width == 0 || height == 0 || width > 1024 || height > 1024 || stride <= 0 ||
      static_cast<uint64_t>(stride) < uint64_t{width} * 4) {
    return std::nullopt;
  }
  // The pixels' offset counts from the bitmap record.
  const uint64_t start = uint64_t{bitmap_offset} + pixels_offset;
  const uint64_t end = start + uint64_t(stride) * (height - 1) + uint64_t{width} * 4;
  if (end > meta_size) {
    return std::nullopt;
  }
  StreamCursorBitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bgra.resize(size_t{width} * height * 4);
  CopyStreamRectToBgra(*format, meta + start, static_cast<size_t>(stride), {0, 0, width, height},
                       bitmap.bgra.data(), size_t{width} * 4);
  return bitmap;
}

}  // namespace

std::vector<ScreenRect> StreamDamage(std::span<const StreamRegion> regions) {
  std::vector<ScreenRect> rects;
  for (const StreamRegion& region : regions) {
    if (region.width == 0 || region.height == 0) {
      break;
    }
    rects.push_back({region.x, region.y, region.width, region.height});
  }
  return rects;
}

std::optional<StreamCursor> ParseStreamCursor(const uint8_t* meta, size_t meta_size) {
  if (meta == nullptr || meta_size < kCursorRecordSize) {
    return std::nullopt;
  }
  StreamCursor cursor;
  // Id 0 is the producer's way of saying there is no cursor to show.
  cursor.visible = Field<uint32_t>(meta, 0) != 0;
  cursor.x = Field<int32_t>(meta, 2);
  cursor.y = Field<int32_t>(meta, 3);
  cursor.hotspot_x = Field<int32_t>(meta, 4);
  cursor.hotspot_y = Field<int32_t>(meta, 5);
  const uint32_t bitmap_offset = Field<uint32_t>(meta, 6);
  if (cursor.visible && bitmap_offset != 0) {
    cursor.bitmap = ParseBitmap(meta, meta_size, bitmap_offset);
    if (cursor.bitmap && cursor.bitmap->bgra.empty()) {
      cursor.visible = false;
      cursor.bitmap.reset();
    }
  }
  return cursor;
}

size_t StreamCursorMetaSize(uint32_t width, uint32_t height) {
  return kCursorRecordSize + kBitmapRecordSize + size_t{width} * height * 4;
}

}  // namespace orvane
