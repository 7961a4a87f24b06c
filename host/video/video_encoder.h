#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/status.h"
#include "protocol/video_codec.h"
#include "video/captured_frame.h"

namespace orvane {

// One encoded picture as the encoder produced it (Annex-B for H.264 and HEVC).
struct EncodedAccessUnit {
  std::vector<uint8_t> bytes;
  bool keyframe = false;
  uint64_t timestamp_us = 0;
};

// One hardware or software video encoder for one stream. The frame loop feeds it one
// frame at a time and drains every access unit before the next frame.
class VideoEncoder {
 public:
  virtual ~VideoEncoder() = default;

  // Builds everything from scratch; on false LastStatus says why.
  virtual bool Initialize(VideoCodec codec, uint32_t width, uint32_t height, uint32_t fps,
                          uint32_t bitrate_kbps) = 0;
  // One BGRA frame, top row first, 4 bytes per pixel; timestamp_us is the capture time.
  virtual bool EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width, uint32_t height,
                           uint64_t timestamp_us) = 0;
  // A captured frame; an encoder that takes NV12 uses the capturer's NV12 picture when the
  // frame carries one instead of converting the BGRA pixels again.
  virtual bool EncodeCapturedFrame(const CapturedFrame& frame, uint64_t timestamp_us) {
    return EncodeFrame(frame.data, frame.row_pitch, frame.width, frame.height, timestamp_us);
  }
  // True when `out` holds a new access unit; call until it returns false.
  virtual bool ReceiveAccessUnit(EncodedAccessUnit& out) = 0;
  // The next access unit produced is a keyframe.
  virtual void RequestKeyframe() = 0;
  // Called from the frame loop's thread only, like RequestKeyframe and SetFrameRate. The
  // new rate applies by the next keyframe the stream has anyway, earlier where the encoder
  // allows; it never brings a keyframe of its own.
  virtual bool SetBitrate(uint32_t bitrate_kbps) = 0;
  virtual void SetFrameRate(uint32_t fps) = 0;
  virtual void Shutdown() = 0;
  virtual Status LastStatus() const = 0;
};

// Makes the encoder a stream uses; empty when this build has no encoder to offer.
using VideoEncoderFactory = std::function<std::unique_ptr<VideoEncoder>()>;

}  // namespace orvane
