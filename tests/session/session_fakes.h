#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "video/screen_capturer.h"
#include "video/video_encoder.h"

namespace orvane::testing {

// A monotonic clock the test moves by hand.
class ManualClock {
 public:
  std::function<uint64_t()> Function() {
    return [this] { return now_us_.load(); };
  }
  void Advance(std::chrono::microseconds by) { now_us_ += static_cast<uint64_t>(by.count()); }

 private:
  std::atomic<uint64_t> now_us_{1000000};
};

// What every encoder of one test did, in order, across the streams that made them.
class EncoderRecord {
 public:
  void AddBitrate(uint32_t kbps);
  std::vector<uint32_t> Bitrates() const;
  bool HasBitrate(uint32_t kbps) const;
  void AddFrame(bool keyframe_requested, uint64_t timestamp_us);
  // For each frame encoded, whether a keyframe had been requested for it.
  std::vector<bool> KeyframeRequests() const;
  // For each frame encoded, the timestamp it was given.
  std::vector<uint64_t> Timestamps() const;

  std::atomic<bool> works{true};
  std::atomic<uint64_t> frames{0};
  std::atomic<uint32_t> initialized{0};
  // An encoder was driven after its Shutdown.
  std::atomic<bool> used_after_shutdown{false};

 private:
  mutable std::mutex mutex_;
  std::vector<uint32_t> bitrates_;
  std::vector<bool> keyframe_requests_;
  std::vector<uint64_t> timestamps_;
};

// Encodes nothing; records the calls the frame loop makes.
class RecordingEncoder : public VideoEncoder {
 public:
  explicit RecordingEncoder(std::shared_ptr<EncoderRecord> record) : record_(std::move(record)) {}

  bool Initialize(VideoCodec, uint32_t, uint32_t, uint32_t, uint32_t) override;
  bool EncodeFrame(const uint8_t*, uint32_t, uint32_t, uint32_t, uint64_t timestamp_us) override;
  bool ReceiveAccessUnit(EncodedAccessUnit&) override { return false; }
  void RequestKeyframe() override;
  bool SetBitrate(uint32_t kbps) override;
  void SetFrameRate(uint32_t) override { CheckAlive(); }
  void Shutdown() override { shut_down_ = true; }
  Status LastStatus() const override;

 private:
  void CheckAlive();

  std::shared_ptr<EncoderRecord> record_;
  std::atomic<bool> shut_down_{false};
  bool keyframe_requested_ = false;
};

// What the test lets a still capturer see: with `reports_changes`, the screen changes only
// when `changes` says so, as a desktop nobody touches.
struct CaptureRecord {
  bool reports_changes = false;
  std::atomic<uint32_t> changes{0};
  std::atomic<uint64_t> captures{0};
  // A change is seen this long into the capture call that reports it, as by a capturer
  // that waits for one; the monotonic time that call began is kept.
  std::atomic<uint32_t> change_seen_after_ms{0};
  std::atomic<uint64_t> change_capture_began_us{0};
};

// A grey screen of the stream's size that has always changed (or, with a record that
// reports changes, only when told); `masked` marks it as
// hiding protected content, as a duplication capturer may.
class StillCapturer : public ScreenCapturer {
 public:
  explicit StillCapturer(bool masked = false, std::shared_ptr<CaptureRecord> record = nullptr)
      : masked_(masked), record_(std::move(record)) {}

  const char* name() const override { return "still"; }
  const char* description() const override { return "Still picture"; }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t) override;
  void Release() override { pixels_.clear(); }

 private:
  bool masked_;
  std::shared_ptr<CaptureRecord> record_;
  bool shown_ = false;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace orvane::testing
