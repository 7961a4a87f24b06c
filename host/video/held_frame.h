#pragma once

#include <cstdint>
#include <vector>

#include "video/captured_frame.h"

namespace orvane {

// The last picture the stream encoded, kept by the frame loop: a capturer's pixels are
// gone by its next call, yet a still desktop still owes the client a keyframe on request
// and a refresh now and then. Only the BGRA pixels are kept; a repeat is rare enough that
// the encoder may convert it again.
class HeldFrame {
 public:
  void Keep(const CapturedFrame& frame);
  bool empty() const { return pixels_.empty(); }
  // The kept picture as a ready frame; valid until the next Keep.
  CapturedFrame View() const;

 private:
  std::vector<uint8_t> pixels_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

}  // namespace orvane
