#include "video/chosen_video_encoder.h"

#include "base/logger.h"
#include "video/video_encoder_ffmpeg.h"
#include "video/video_encoder_openh264.h"

namespace orvane {

bool ChosenVideoEncoder::Initialize(VideoCodec codec, uint32_t width, uint32_t height, uint32_t fps,
                                    uint32_t bitrate_kbps) {
  Shutdown();
  using Kinds = FfmpegVideoEncoder::Kinds;
  std::unique_ptr<VideoEncoder> encoder;
  switch (choice_) {
    case EncoderChoice::kHardware:
      encoder = std::make_unique<FfmpegVideoEncoder>(Kinds::kHardwareOnly);
      break;
    case EncoderChoice::kX264:
      encoder = std::make_unique<FfmpegVideoEncoder>(Kinds::kSoftwareOnly);
      break;
    case EncoderChoice::kOpenH264:
      encoder = std::make_unique<OpenH264VideoEncoder>();
      break;
    case EncoderChoice::kAuto:
      encoder = std::make_unique<FfmpegVideoEncoder>(Kinds::kAny);
      break;
  }
  if (!encoder->Initialize(codec, width, height, fps, bitrate_kbps)) {
    status_ = encoder->LastStatus();
    return false;
  }
  const char* why = "asked for";
  chosen_ = OpenH264VideoEncoder::kName;
  if (const auto* ffmpeg = dynamic_cast<const FfmpegVideoEncoder*>(encoder.get())) {
    chosen_ = ffmpeg->EncoderName();
    if (choice_ == EncoderChoice::kAuto) {
      why = chosen_.rfind("lib", 0) == 0
                ? "auto: no hardware encoder; the software encoder with the least time per frame"
                : "auto: a hardware encoder leaves the CPU to the desktop";
    }
  }
  encoder_ = std::move(encoder);
  status_ = Status::Success();
  LOG_INFO_COLLAPSED("[Encoder] Using %s for %s (%s)", chosen_.c_str(), VideoCodecName(codec), why);
  return true;
}

bool ChosenVideoEncoder::EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                     uint32_t height, uint64_t timestamp_us) {
  return encoder_ != nullptr && encoder_->EncodeFrame(data, row_pitch, width, height, timestamp_us);
}

bool ChosenVideoEncoder::EncodeCapturedFrame(const CapturedFrame& frame, uint64_t timestamp_us) {
  return encoder_ != nullptr && encoder_->EncodeCapturedFrame(frame, timestamp_us);
}

bool ChosenVideoEncoder::ReceiveAccessUnit(EncodedAccessUnit& out) {
  return encoder_ != nullptr && encoder_->ReceiveAccessUnit(out);
}

void ChosenVideoEncoder::RequestKeyframe() {
  if (encoder_ != nullptr) {
    encoder_->RequestKeyframe();
  }
}

bool ChosenVideoEncoder::SetBitrate(uint32_t bitrate_kbps) {
  return encoder_ != nullptr && encoder_->SetBitrate(bitrate_kbps);
}

void ChosenVideoEncoder::SetFrameRate(uint32_t fps) {
  if (encoder_ != nullptr) {
    encoder_->SetFrameRate(fps);
  }
}

void ChosenVideoEncoder::Shutdown() {
  if (encoder_ != nullptr) {
    encoder_->Shutdown();
    encoder_.reset();
  }
  chosen_.clear();
}

Status ChosenVideoEncoder::LastStatus() const {
  return encoder_ != nullptr ? encoder_->LastStatus() : status_;
}

}  // namespace orvane
