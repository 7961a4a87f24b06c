#include "video/video_encoder_openh264.h"

#include <wels/codec_api.h>

#include <cstring>

#include "base/logger.h"
#include "video/encoder_open_ffmpeg.h"
#include "video/nv12_colour.h"
#include "video/nv12_converter.h"

namespace orvane {
namespace {

Status NotInitialized() {
  return Status::Failure(StatusCode::kCodec, "Encoder is not initialized");
}

int BitsPerSecond(uint32_t kbps) {
  return static_cast<int>(kbps * 1000);
}

}  // namespace

OpenH264VideoEncoder::~OpenH264VideoEncoder() {
  Shutdown();
}

bool OpenH264VideoEncoder::Initialize(VideoCodec codec, uint32_t width, uint32_t height,
                                      uint32_t fps, uint32_t bitrate_kbps) {
  Shutdown();
  status_ = Status::Success();
  if (codec != VideoCodec::kH264) {
    status_ = Status::Failure(StatusCode::kCodec, "OpenH264 encodes H.264 only");
    return false;
  }
  if (width == 0 || height == 0 || width % 2 != 0 || height % 2 != 0 || fps == 0 ||
      bitrate_kbps == 0) {
    status_ = Status::Failure(StatusCode::kCodec, "OpenH264 needs an even size, a rate and fps");
    return false;
  }
  if (WelsCreateSVCEncoder(&encoder_) != 0 || encoder_ == nullptr) {
    encoder_ = nullptr;
    status_ = Status::Failure(StatusCode::kCodec, "OpenH264 encoder could not be created");
    return false;
  }
  // The library prints its own warnings to standard error; the host logs what matters.
  int trace_level = WELS_LOG_ERROR;
  encoder_->SetOption(ENCODER_OPTION_TRACE_LEVEL, &trace_level);
  SEncParamExt params;
  encoder_->GetDefaultParams(&params);
  params.iUsageType = SCREEN_CONTENT_REAL_TIME;
  params.iPicWidth = static_cast<int>(width);
  params.iPicHeight = static_cast<int>(height);
  params.iTargetBitrate = BitsPerSecond(bitrate_kbps);
  params.iMaxBitrate = UNSPECIFIED_BIT_RATE;
  params.iRCMode = RC_BITRATE_MODE;
  params.fMaxFrameRate = static_cast<float>(fps);
  params.uiIntraPeriod = kKeyframeIntervalFrames;
  // The client decodes one access unit per captured frame: a skipped frame would leave it
  // a picture behind until the next change.
  params.bEnableFrameSkip = false;
  // A new window or a page scrolled past is a "scene change" that would cost an unrequested
  // IDR; keyframes come only from the period and from requests.
  params.bEnableSceneChangeDetect = false;
  params.iTemporalLayerNum = 1;
  params.iSpatialLayerNum = 1;
  params.iMultipleThreadIdc = 1;
  // The client keeps no long-term references of its own; every IDR restarts it cleanly.
  params.bEnableLongTermReference = false;
  params.eSpsPpsIdStrategy = CONSTANT_ID;
  SSpatialLayerConfig& layer = params.sSpatialLayers[0];
  layer.iVideoWidth = params.iPicWidth;
  layer.iVideoHeight = params.iPicHeight;
  layer.fFrameRate = params.fMaxFrameRate;
  layer.iSpatialBitrate = params.iTargetBitrate;
  layer.iMaxSpatialBitrate = UNSPECIFIED_BIT_RATE;
  layer.sSliceArgument.uiSliceMode = SM_SINGLE_SLICE;
  layer.bVideoSignalTypePresent = true;
  layer.uiVideoFormat = VF_UNDEF;
  layer.bFullRange = kNv12Colour.full_range;
  layer.bColorDescriptionPresent = true;
  layer.uiColorPrimaries = kNv12Colour.primaries;
  layer.uiTransferCharacteristics = kNv12Colour.transfer;
  layer.uiColorMatrix = kNv12Colour.matrix;
  int format = videoFormatI420;
  if (encoder_->InitializeExt(&params) != cmResultSuccess ||
      encoder_->SetOption(ENCODER_OPTION_DATAFORMAT, &format) != cmResultSuccess) {
    Shutdown();
    status_ = Status::Failure(StatusCode::kCodec, "OpenH264 refused the stream settings");
    return false;
  }
  width_ = width;
  height_ = height;
  fps_ = fps;
  bitrate_kbps_ = bitrate_kbps;
  y_.assign(size_t{width} * height, 0);
  u_.assign(size_t{width / 2} * (height / 2), 0);
  v_.assign(u_.size(), 0);
  uv_.assign(size_t{width} * (height / 2), 0);
  LOG_INFO_COLLAPSED("[Encoder] Initialized: %s %ux%u @%u fps, %u kbps", VideoCodecName(codec),
                     width, height, fps, bitrate_kbps);
  return true;
}

bool OpenH264VideoEncoder::EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                       uint32_t height, uint64_t timestamp_us) {
  if (encoder_ == nullptr) {
    status_ = NotInitialized();
    return false;
  }
  if (data == nullptr || width != width_ || height != height_ || row_pitch < width * 4) {
    status_ = Status::Failure(StatusCode::kCodec, "Frame does not match the stream size");
    return false;
  }
  if (!ConvertBgraToNv12(data, row_pitch, width, height, {y_.data(), width, uv_.data(), width})) {
    status_ = Status::Failure(StatusCode::kCodec, "BGRA to NV12 conversion failed");
    return false;
  }
  SplitNv12(nullptr, 0, uv_.data(), width);
  return EncodePlanes(timestamp_us);
}

bool OpenH264VideoEncoder::EncodeCapturedFrame(const CapturedFrame& frame, uint64_t timestamp_us) {
  if (frame.nv12 == nullptr || encoder_ == nullptr || frame.width != width_ ||
      frame.height != height_) {
    return EncodeFrame(frame.data, frame.row_pitch, frame.width, frame.height, timestamp_us);
  }
  SplitNv12(frame.nv12, width_, frame.nv12 + size_t{width_} * height_, width_);
  return EncodePlanes(timestamp_us);
}

void OpenH264VideoEncoder::SplitNv12(const uint8_t* y, size_t y_pitch, const uint8_t* uv,
                                     size_t uv_pitch) {
  if (y != nullptr) {
    for (uint32_t row = 0; row < height_; ++row) {
      std::memcpy(y_.data() + size_t{row} * width_, y + row * y_pitch, width_);
    }
  }
  const uint32_t chroma_width = width_ / 2;
  for (uint32_t row = 0; row < height_ / 2; ++row) {
    const uint8_t* pairs = uv + row * uv_pitch;
    uint8_t* u = u_.data() + size_t{row} * chroma_width;
    uint8_t* v = v_.data() + size_t{row} * chroma_width;
    for (uint32_t x = 0; x < chroma_width; ++x) {
      u[x] = pairs[2 * x];
      v[x] = pairs[2 * x + 1];
    }
  }
}

bool OpenH264VideoEncoder::EncodePlanes(uint64_t timestamp_us) {
  SSourcePicture picture{};
  picture.iColorFormat = videoFormatI420;
  picture.iPicWidth = static_cast<int>(width_);
  picture.iPicHeight = static_cast<int>(height_);
  picture.iStride[0] = static_cast<int>(width_);
  picture.iStride[1] = static_cast<int>(width_ / 2);
  picture.iStride[2] = static_cast<int>(width_ / 2);
  picture.pData[0] = y_.data();
  picture.pData[1] = u_.data();
  picture.pData[2] = v_.data();
  picture.uiTimeStamp = static_cast<long long>(timestamp_us / 1000);
  SFrameBSInfo info{};
  if (encoder_->EncodeFrame(&picture, &info) != cmResultSuccess) {
    status_ = Status::Failure(StatusCode::kCodec, "OpenH264 failed to encode the frame");
    return false;
  }
  unit_.bytes.clear();
  for (int layer = 0; layer < info.iLayerNum; ++layer) {
    const SLayerBSInfo& bits = info.sLayerInfo[layer];
    size_t size = 0;
    for (int nal = 0; nal < bits.iNalCount; ++nal) {
      size += static_cast<size_t>(bits.pNalLengthInByte[nal]);
    }
    unit_.bytes.insert(unit_.bytes.end(), bits.pBsBuf, bits.pBsBuf + size);
  }
  unit_.keyframe = info.eFrameType == videoFrameTypeIDR;
  unit_.timestamp_us = timestamp_us;
  // Without frame skipping every picture yields bits; an empty one is reported as such.
  pending_ = info.eFrameType != videoFrameTypeSkip || !unit_.bytes.empty();
  status_ = Status::Success();
  return true;
}

bool OpenH264VideoEncoder::ReceiveAccessUnit(EncodedAccessUnit& out) {
  if (!pending_) {
    return false;
  }
  pending_ = false;
  out = std::move(unit_);
  unit_ = {};
  return true;
}

void OpenH264VideoEncoder::RequestKeyframe() {
  if (encoder_ != nullptr) {
    encoder_->ForceIntraFrame(true);
  }
}

bool OpenH264VideoEncoder::SetBitrate(uint32_t bitrate_kbps) {
  if (encoder_ == nullptr) {
    status_ = NotInitialized();
    return false;
  }
  if (bitrate_kbps == 0 || bitrate_kbps == bitrate_kbps_) {
    return bitrate_kbps != 0;
  }
  SBitrateInfo target{SPATIAL_LAYER_ALL, BitsPerSecond(bitrate_kbps)};
  if (encoder_->SetOption(ENCODER_OPTION_BITRATE, &target) != cmResultSuccess) {
    status_ = Status::Failure(StatusCode::kCodec, "OpenH264 refused the bitrate");
    return false;
  }
  bitrate_kbps_ = bitrate_kbps;
  return true;
}

void OpenH264VideoEncoder::SetFrameRate(uint32_t fps) {
  if (encoder_ == nullptr || fps == 0 || fps == fps_) {
    return;
  }
  float rate = static_cast<float>(fps);
  if (encoder_->SetOption(ENCODER_OPTION_FRAME_RATE, &rate) == cmResultSuccess) {
    fps_ = fps;
  }
}

void OpenH264VideoEncoder::Shutdown() {
  if (encoder_ != nullptr) {
    encoder_->Uninitialize();
    WelsDestroySVCEncoder(encoder_);
    encoder_ = nullptr;
  }
  pending_ = false;
  unit_ = {};
}

Status OpenH264VideoEncoder::LastStatus() const {
  return status_;
}

}  // namespace orvane
