#pragma once

#include <cstdint>
#include <vector>

#include "video/captured_frame.h"

namespace orvane {

// The last picture the stream encoded, kept by the frame loop: a still desktop still owes
// the client a keyframe on request and a refresh now and then. A capturer that keeps its
// picture until its next new frame lends it (nothing is copied, and its NV12 copy comes
// along); any other frame's BGRA pixels are copied, since they are gone by the capturer's
// next call.
class HeldFrame {
 public:
  // `owner` is the capturer that produced the frame.
  void Keep(const CapturedFrame& frame, const void* owner);
  // A lent picture is gone with its capturer's release.
  void ForgetLent();
  // Whether there is a picture to repeat while `active_owner` is the capturer in use: a
  // lent one belongs to its capturer only.
  bool HasPictureFor(const void* active_owner) const;
  // The kept picture as a ready frame; valid until the next Keep.
  CapturedFrame View() const;

 private:
  CapturedFrame lent_;
  const void* owner_ = nullptr;
  std::vector<uint8_t> pixels_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

}  // namespace orvane
