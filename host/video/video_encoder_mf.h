#pragma once

#include <windows.h>

#include <mftransform.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "platform/com_ref_win.h"
#include "video/encoder_activation_mf.h"
#include "video/nv12_converter_d3d11.h"
#include "video/parameter_set_keeper.h"
#include "video/transform_events_mf.h"
#include "video/video_encoder.h"

namespace orvane {

// VideoEncoder over a Media Foundation encoder transform: a hardware transform when one
// accepts the stream's types, else the software one. Frames reach it in system memory:
// BGRA as captured, or NV12 converted by the Direct3D 11 video processor (the CPU when
// that cannot be used). Hardware transforms are driven by their events, software ones
// synchronously. Every IDR leaves with its parameter sets.
class MfVideoEncoder : public VideoEncoder {
 public:
  explicit MfVideoEncoder(EncoderTransformSource source = ActivateEncoderTransform)
      : source_(std::move(source)) {}
  ~MfVideoEncoder() override { Shutdown(); }
  MfVideoEncoder(const MfVideoEncoder&) = delete;
  MfVideoEncoder& operator=(const MfVideoEncoder&) = delete;

  bool Initialize(VideoCodec codec, uint32_t width, uint32_t height, uint32_t fps,
                  uint32_t bitrate_kbps) override;
  bool EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width, uint32_t height,
                   uint64_t timestamp_us) override;
  bool ReceiveAccessUnit(EncodedAccessUnit& out) override;
  void RequestKeyframe() override;
  // Applied by the next EncodeFrame, on the thread that drives the transform.
  bool SetBitrate(uint32_t bitrate_kbps) override;
  void SetFrameRate(uint32_t fps) override;
  void Shutdown() override;
  Status LastStatus() const override { return status_; }

 private:
  // Activates one kind of transform and negotiates its output and input types.
  bool Negotiate(bool hardware);
  bool SetOutputType();
  bool SetInputType();
  void UseNv12Converter(const char* format_name);
  bool StartStreaming();
  void ReleaseTransform();
  std::span<const uint8_t> PrepareInput(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                        uint32_t height);
  bool SubmitInput(std::span<const uint8_t> bytes, uint64_t timestamp_us);
  // Collects the output an asynchronous transform announces until it asks for input.
  HRESULT AwaitInputRequest();
  enum class OutputResult { kUnit, kNone, kFailed };
  OutputResult TakeOutput(EncodedAccessUnit& out);
  HRESULT RunProcessOutput(ComRef<IMFSample>& sample, bool& allocation_failed);
  bool ChooseOutputTypeAgain();
  void KeepParameterSets(std::vector<uint8_t>& bytes);
  void ApplyRequestedBitrate();
  void SetCodecValue(const GUID& property, uint32_t value);
  void SetCodecFlag(const GUID& property, bool value);
  bool Fail(StatusCode code, const char* message, HRESULT hr);

  EncoderTransformSource source_;
  ComRef<IMFTransform> transform_;
  ComRef<IMFActivate> activation_;
  ComRef<IMFMediaType> input_type_;
  ComRef<IMFMediaType> output_type_;
  TransformEvents events_;
  D3d11Nv12Converter gpu_converter_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::atomic<uint32_t> fps_{0};
  uint32_t bitrate_kbps_ = 0;
  std::atomic<uint32_t> requested_bitrate_kbps_{0};
  bool hevc_ = false;
  bool initialized_ = false;
  bool nv12_input_ = false;
  bool hardware_ = false;
  bool gpu_converter_enabled_ = false;
  // An asynchronous transform owes output for the last input.
  bool awaiting_output_ = false;
  std::vector<uint8_t> input_buffer_;
  // Output collected while waiting to give input, handed out before asking for more.
  std::deque<EncodedAccessUnit> collected_;
  ParameterSetKeeper parameter_sets_;
  Status status_;
};

}  // namespace orvane
