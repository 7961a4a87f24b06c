#include "video/held_frame.h"

#include <cstring>

namespace orvane {

void HeldFrame::Keep(const CapturedFrame& frame, const void* owner) {
  owner_ = owner;
  if (frame.kept_until_next_frame) {
    lent_ = frame;
    pixels_.clear();
    return;
  }
  lent_ = CapturedFrame{};
  const size_t row_bytes = size_t{frame.width} * 4;
  pixels_.resize(row_bytes * frame.height);
  width_ = frame.width;
  height_ = frame.height;
  if (frame.row_pitch == row_bytes) {
    std::memcpy(pixels_.data(), frame.data, pixels_.size());
    return;
  }
  for (uint32_t y = 0; y < frame.height; ++y) {
    std::memcpy(pixels_.data() + row_bytes * y, frame.data + size_t{frame.row_pitch} * y,
                row_bytes);
  }
}

void HeldFrame::ForgetLent() {
  lent_ = CapturedFrame{};
}

bool HeldFrame::HasPictureFor(const void* active_owner) const {
  if (lent_.data != nullptr) {
    return owner_ == active_owner;
  }
  return !pixels_.empty();
}

CapturedFrame HeldFrame::View() const {
  if (lent_.data != nullptr) {
    return lent_;
  }
  CapturedFrame frame;
  frame.status = CaptureStatus::kFrameReady;
  frame.data = pixels_.data();
  frame.row_pitch = width_ * 4;
  frame.width = width_;
  frame.height = height_;
  frame.data_size = pixels_.size();
  return frame;
}

}  // namespace orvane
