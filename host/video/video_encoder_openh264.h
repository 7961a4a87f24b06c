#pragma once

#include <cstdint>
#include <vector>

#include "video/video_encoder.h"

class ISVCEncoder;

namespace orvane {

// VideoEncoder over the OpenH264 library in its real-time screen-content mode: H.264 only,
// on the CPU. Screen content is mostly unchanged blocks, text and flat colour, which this
// mode codes with fewer bits and less work than a camera-tuned encoder. Rate and frame-rate
// changes apply to the open encoder, so neither ever costs the client a keyframe.
class OpenH264VideoEncoder : public VideoEncoder {
 public:
  OpenH264VideoEncoder() = default;
  ~OpenH264VideoEncoder() override;
  OpenH264VideoEncoder(const OpenH264VideoEncoder&) = delete;
  OpenH264VideoEncoder& operator=(const OpenH264VideoEncoder&) = delete;

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

  static constexpr const char* kName = "openh264";

 private:
  // Encodes the I420 picture in y_/u_/v_.
  bool EncodePlanes(uint64_t timestamp_us);
  // Takes packed NV12 (Y rows, then interleaved UV rows) into the I420 planes.
  void SplitNv12(const uint8_t* y, size_t y_pitch, const uint8_t* uv, size_t uv_pitch);

  ISVCEncoder* encoder_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t fps_ = 0;
  uint32_t bitrate_kbps_ = 0;
  std::vector<uint8_t> y_;
  std::vector<uint8_t> u_;
  std::vector<uint8_t> v_;
  // The BGRA conversion's interleaved chroma before it is split.
  std::vector<uint8_t> uv_;
  bool pending_ = false;
  EncodedAccessUnit unit_;
  Status status_;
};

}  // namespace orvane
