#include "session/session_fakes.h"

#include <algorithm>
#include <thread>

#include "platform/clock.h"

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

void EncoderRecord::AddFrame(bool keyframe_requested, uint64_t timestamp_us) {
  std::lock_guard<std::mutex> lock(mutex_);
  keyframe_requests_.push_back(keyframe_requested);
  timestamps_.push_back(timestamp_us);
}

std::vector<bool> EncoderRecord::KeyframeRequests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return keyframe_requests_;
}

std::vector<uint64_t> EncoderRecord::Timestamps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timestamps_;
}

bool RecordingEncoder::Initialize(VideoCodec, uint32_t, uint32_t, uint32_t, uint32_t) {
  ++record_->initialized;
  return record_->works.load();
}

bool RecordingEncoder::EncodeFrame(const uint8_t*, uint32_t, uint32_t, uint32_t,
                                   uint64_t timestamp_us) {
  CheckAlive();
  record_->AddFrame(keyframe_requested_, timestamp_us);
  keyframe_requested_ = false;
  ++record_->frames;
  return true;
}

void RecordingEncoder::RequestKeyframe() {
  CheckAlive();
  keyframe_requested_ = true;
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
  if (record_ != nullptr) {
    ++record_->captures;
    if (record_->reports_changes && shown_) {
      uint32_t pending = record_->changes.load();
      while (pending > 0 && !record_->changes.compare_exchange_weak(pending, pending - 1)) {
      }
      if (pending == 0) {
        frame.status = CaptureStatus::kNoNewFrame;
        return frame;
      }
      record_->change_capture_began_us = MonotonicMicros();
      std::this_thread::sleep_for(std::chrono::milliseconds(record_->change_seen_after_ms.load()));
    }
  }
  shown_ = true;
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
