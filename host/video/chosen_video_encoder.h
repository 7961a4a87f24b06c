#pragma once

#include <memory>
#include <string>

#include "video/encoder_choice.h"
#include "video/video_encoder.h"

namespace orvane {

// The encoder --encoder names, picked when the stream's codec is known and logged with
// the reason. `auto` takes a hardware encoder where one opens (it leaves the CPU to the
// desktop), else libx264 / libx265. OpenH264 only when asked: on 1080p desktop workloads
// (bench/screen_encoder_bench.cpp) its screen-content mode sends fewer bytes for typing
// and scrolling but takes two to three times libx264's time per frame, and a frame's
// time is the latency the user feels.
class ChosenVideoEncoder : public VideoEncoder {
 public:
  explicit ChosenVideoEncoder(EncoderChoice choice) : choice_(choice) {}

  bool Initialize(VideoCodec codec, uint32_t width, uint32_t height, uint32_t fps,
                  uint32_t bitrate_kbps) override;
  bool EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width, uint32_t height,
                   uint64_t timestamp_us) override;
  bool EncodeCapturedFrame(const CapturedFrame& frame, uint64_t timestamp_us) override;
  bool ReceiveAccessUnit(EncodedAccessUnit& out) override;
  void RequestKeyframe() override;
  bool SetBitrate(uint32_t bitrate_kbps) override;
  void SetFrameRate(uint32_t fps) override;
  void Shutdown() override;
  Status LastStatus() const override;

  // The encoder Initialize opened ("libx264", "h264_vaapi", "openh264"); empty before.
  const std::string& chosen() const { return chosen_; }

 private:
  EncoderChoice choice_;
  std::unique_ptr<VideoEncoder> encoder_;
  std::string chosen_;
  Status status_ = Status::Failure(StatusCode::kCodec, "Encoder is not initialized");
};

}  // namespace orvane
