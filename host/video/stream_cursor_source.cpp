#include "video/stream_cursor_source.h"

namespace orvane {

void StreamCursorFeed::SetStreamOrigin(int32_t x, int32_t y) {
  std::lock_guard<std::mutex> lock(mutex_);
  origin_x_ = x;
  origin_y_ = y;
}

void StreamCursorFeed::Update(const StreamCursor& cursor) {
  std::lock_guard<std::mutex> lock(mutex_);
  known_ = true;
  cursor_.visible = cursor.visible;
  cursor_.x = cursor.x;
  cursor_.y = cursor.y;
  if (cursor.bitmap) {
    image_ = *cursor.bitmap;
    image_hotspot_x_ = cursor.hotspot_x;
    image_hotspot_y_ = cursor.hotspot_y;
    ++image_serial_;
  }
}

void StreamCursorFeed::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  known_ = false;
  drawn_in_picture_ = false;
}

void StreamCursorFeed::SetDrawnInPicture(bool drawn) {
  std::lock_guard<std::mutex> lock(mutex_);
  drawn_in_picture_ = drawn;
}

bool StreamCursorFeed::drawn_in_picture() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return drawn_in_picture_;
}

bool StreamCursorFeed::ReadPointer(CursorPointer& pointer) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!known_) {
    return false;
  }
  pointer.x = origin_x_ + cursor_.x;
  pointer.y = origin_y_ + cursor_.y;
  pointer.visible = cursor_.visible;
  pointer.image_id = image_serial_;
  return true;
}

bool StreamCursorFeed::ReadImage(CursorImage& image) const {
  std::lock_guard<std::mutex> lock(mutex_);
  // The stream names no shapes; its images are the application's own.
  image.shape = "custom";
  if (image_.bgra.empty()) {
    return false;
  }
  image.hotspot_x = image_hotspot_x_;
  image.hotspot_y = image_hotspot_y_;
  image.width = image_.width;
  image.height = image_.height;
  image.bgra = image_.bgra;
  return true;
}

bool StreamCursorSource::ReadPointer(CursorPointer& pointer) {
  if (feed_->drawn_in_picture()) {
    from_stream_ = false;
    return false;
  }
  from_stream_ = feed_->ReadPointer(pointer);
  if (from_stream_) {
    // Apart from the fallback's identities, so that a change of source is a new image.
    pointer.image_id |= uint64_t{1} << 63;
    return true;
  }
  return fallback_ != nullptr && fallback_->ReadPointer(pointer);
}

bool StreamCursorSource::ReadImage(CursorImage& image) {
  if (from_stream_) {
    return feed_->ReadImage(image);
  }
  return fallback_ != nullptr && fallback_->ReadImage(image);
}

}  // namespace orvane
