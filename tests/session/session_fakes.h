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

  std::atomic<bool> works{true};
  std::atomic<uint64_t> frames{0};
  std::atomic<uint32_t> initialized{0};
  // An encoder was driven after its Shutdown.
  std::atomic<bool> used_after_shutdown{false};

 private:
  mutable std::mutex mutex_;
  std::vector<uint32_t> bitrates_;
};

// Encodes nothing; records the calls the frame loop makes.
class RecordingEncoder : public VideoEncoder {
 public:
  explicit RecordingEncoder(std::shared_ptr<EncoderRecord> record) : record_(std::move(record)) {}

  bool Initialize(VideoCodec, uint32_t, uint32_t, uint32_t, uint32_t) override;
  bool EncodeFrame(const uint8_t*, uint32_t, uint32_t, uint32_t, uint64_t) override;
  bool ReceiveAccessUnit(EncodedAccessUnit&) override { return false; }
  void RequestKeyframe() override { CheckAlive(); }
  bool SetBitrate(uint32_t kbps) override;
  void SetFrameRate(uint32_t) override { CheckAlive(); }
  void Shutdown() override { shut_down_ = true; }
  Status LastStatus() const override;

 private:
  void CheckAlive();

  std::shared_ptr<EncoderRecord> record_;
  std::atomic<bool> shut_down_{false};
};

// A grey screen of the stream's size that has always changed; `masked` marks it as
// hiding protected content, as a duplication capturer may.
class StillCapturer : public ScreenCapturer {
 public:
  explicit StillCapturer(bool masked = false) : masked_(masked) {}

  const char* name() const override { return "still"; }
  const char* description() const override { return "Still picture"; }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t) override;
  void Release() override { pixels_.clear(); }

 private:
  bool masked_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace orvane::testing
