#include "video/cursor_tracker.h"

#include <utility>

namespace orvane {

CursorTracker::CursorTracker(std::unique_ptr<CursorSource> source) : source_(std::move(source)) {}

std::optional<protocol::v1::CursorUpdate> CursorTracker::Poll() {
  CursorPointer pointer;
  if (!source_->ReadPointer(pointer)) {
    return std::nullopt;
  }
  const bool image_changed = last_image_id_ != pointer.image_id;
  const bool moved = pointer.x != last_x_ || pointer.y != last_y_;
  // A cursor hidden while typing or during video must disappear on the client too, even
  // when it neither moves nor changes its image.
  const bool visibility_changed = pointer.visible != last_visible_;
  last_image_id_ = pointer.image_id;
  last_x_ = pointer.x;
  last_y_ = pointer.y;
  last_visible_ = pointer.visible;
  if (!image_changed && !moved && !visibility_changed) {
    return std::nullopt;
  }

  protocol::v1::CursorUpdate update;
  update.set_position_x(pointer.x);
  update.set_position_y(pointer.y);
  update.set_visible(pointer.visible);
  if (!image_changed) {
    return update;
  }
  CursorImage image;
  const bool have_pixels = source_->ReadImage(image) &&
                           image.bgra.size() == uint64_t{image.width} * image.height * 4 &&
                           !image.bgra.empty();
  update.set_shape(image.shape);
  if (have_pixels) {
    update.set_hotspot_x(image.hotspot_x);
    update.set_hotspot_y(image.hotspot_y);
    update.set_width(image.width);
    update.set_height(image.height);
    update.set_bitmap_argb(image.bgra.data(), image.bgra.size());
  }
  return update;
}

protocol::v1::ControlMessage CursorControlMessage(const protocol::v1::CursorUpdate& update) {
  protocol::v1::ControlMessage message;
  message.set_protocol_version(1);
  *message.mutable_cursor_update() = update;
  return message;
}

}  // namespace orvane
