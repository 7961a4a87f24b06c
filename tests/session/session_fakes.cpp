#include "session/session_fakes.h"

#include <algorithm>

namespace orvane::testing {

void EncoderRecord::AddBitrate(uint32_t kbps) {
  std::lock_guard<std::mutex> lock(mutex_);
  bitrates_.push_back(kbps);
}

std::vector<uint32_t> EncoderRecord::Bitrates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bitrates_;
}

bool EncoderRecord::HasBitrate(uint32_t kbps) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(bitrates_.begin(), bitrates_.end(), kbps) != bitrates_.end();
}

bool RecordingEncoder::Initialize(VideoCodec, uint32_t, uint32_t, uint32_t, uint32_t) {
  ++record_->initialized;
  return record_->works.load();
}

bool RecordingEncoder::EncodeFrame(const uint8_t*, uint32_t, uint32_t, uint32_t, uint64_t) {
  CheckAlive();
  ++record_->frames;
  return true;
}

bool RecordingEncoder::SetBitrate(uint32_t kbps) {
  CheckAlive();
  record_->AddBitrate(kbps);
  return true;
}

Status RecordingEncoder::LastStatus() const {
  return record_->works.load() ? Status{}
                               : Status::Failure(StatusCode::kCodec, "Encoder refused the size");
}

void RecordingEncoder::CheckAlive() {
  if (shut_down_.load()) {
    record_->used_after_shutdown = true;
  }
}

bool StillCapturer::Initialize(uint32_t, uint32_t width, uint32_t height) {
  width_ = width;
  height_ = height;
  pixels_.assign(size_t{width} * height * 4, 0x80);
  return true;
}

CapturedFrame StillCapturer::Capture(uint32_t) {
  CapturedFrame frame;
  frame.status = CaptureStatus::kFrameReady;
  frame.data = pixels_.data();
  frame.row_pitch = width_ * 4;
  frame.width = width_;
  frame.height = height_;
  frame.data_size = pixels_.size();
  frame.protected_content_masked = masked_;
  return frame;
}

}  // namespace orvane::testing
