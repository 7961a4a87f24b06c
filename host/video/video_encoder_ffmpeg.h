#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "video/encoder_open_ffmpeg.h"
#include "video/handles_ffmpeg.h"
#include "video/video_encoder.h"

namespace orvane {

// VideoEncoder over libavcodec: a hardware encoder (VAAPI, NVENC) when one opens,
// otherwise libx264 / libx265. Frames are converted from BGRA on the CPU.
class FfmpegVideoEncoder : public VideoEncoder {
 public:
  FfmpegVideoEncoder() = default;
  ~FfmpegVideoEncoder() override;
  FfmpegVideoEncoder(const FfmpegVideoEncoder&) = delete;
  FfmpegVideoEncoder& operator=(const FfmpegVideoEncoder&) = delete;

  bool Initialize(VideoCodec codec, uint32_t width, uint32_t height, uint32_t fps,
                  uint32_t bitrate_kbps) override;
  bool EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width, uint32_t height,
                   uint64_t timestamp_us) override;
  bool ReceiveAccessUnit(EncodedAccessUnit& out) override;
  void RequestKeyframe() override;
  bool SetBitrate(uint32_t bitrate_kbps) override;
  void SetFrameRate(uint32_t fps) override;
  void Shutdown() override;
  Status LastStatus() const override;

  // The libavcodec encoder in use; empty before Initialize succeeds.
  const char* EncoderName() const;

 private:
  bool OpenBestEncoder();
  bool AllocateBuffers();
  // Runs on the frame loop's thread, so a rate set from another thread never races the
  // encoder itself.
  void ApplyRequestedRates();
  bool Reopen(const EncoderSettings& settings);
  bool FillInputFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width, uint32_t height);
  bool SendFrame(AVFrame& frame);

  EncoderSettings settings_;
  // Rates a reopen refused; not retried until different ones are asked for.
  EncoderSettings refused_;
  EncoderCandidate candidate_;
  CodecContextPtr context_;
  // The picture in system memory, in the encoder's input layout.
  FramePtr input_frame_;
  // NV12 chroma before it is split into planes, for encoders that want it so.
  std::vector<uint8_t> interleaved_chroma_;
  FramePtr surface_frame_;
  PacketPtr packet_;
  bool initialized_ = false;
  std::atomic<uint32_t> requested_bitrate_kbps_{0};
  std::atomic<uint32_t> fps_{0};
  std::atomic<bool> keyframe_requested_{false};
  Status status_;
};

}  // namespace orvane
