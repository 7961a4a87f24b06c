#pragma once

#include <cstdint>
#include <vector>

#include "video/encoder_open_ffmpeg.h"
#include "video/handles_ffmpeg.h"
#include "video/video_encoder.h"

namespace orvane {

// VideoEncoder over libavcodec: a hardware encoder (VAAPI, NVENC) when one opens,
// otherwise libx264 / libx265. Frames are converted from BGRA on the CPU.
// A new bitrate never costs the client a keyframe: an encoder that cannot take it while
// open gets it at the next keyframe the stream has anyway, requested or periodic.
class FfmpegVideoEncoder : public VideoEncoder {
 public:
  // Which of the candidates may open: an encoder choice may want only one kind.
  enum class Kinds { kAny, kHardwareOnly, kSoftwareOnly };

  explicit FfmpegVideoEncoder(Kinds kinds = Kinds::kAny) : kinds_(kinds) {}
  ~FfmpegVideoEncoder() override;
  FfmpegVideoEncoder(const FfmpegVideoEncoder&) = delete;
  FfmpegVideoEncoder& operator=(const FfmpegVideoEncoder&) = delete;

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

  // The libavcodec encoder in use; empty before Initialize succeeds.
  const char* EncoderName() const;

 private:
  bool OpenBestEncoder();
  bool AllocateBuffers();
  // Whether the next frame is a keyframe anyway: the first after opening, a requested one,
  // or the encoder's periodic one.
  bool KeyframeDue() const;
  void ApplyRequestedRates();
  bool Reopen(const EncoderSettings& settings);
  bool FillInputFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width, uint32_t height);
  // Points borrowed_frame_ at a packed NV12 picture of the stream size, without a copy.
  bool BorrowNv12(const uint8_t* nv12);
  bool EncodePicture(AVFrame& picture, uint64_t timestamp_us);
  bool SendFrame(AVFrame& frame);

  Kinds kinds_;
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
  // A capturer's NV12 picture lent for one frame: libx264 copies it inside
  // avcodec_send_frame and the VAAPI upload copies it before that call.
  FramePtr borrowed_frame_;
  PacketPtr packet_;
  bool initialized_ = false;
  uint32_t requested_bitrate_kbps_ = 0;
  uint32_t requested_fps_ = 0;
  bool keyframe_requested_ = false;
  // Access units since the last keyframe, that one included; 0 until the encoder gives one.
  uint32_t frames_since_keyframe_ = 0;
  Status status_;
};

}  // namespace orvane
