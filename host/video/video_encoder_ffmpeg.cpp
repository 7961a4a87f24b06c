#include "video/video_encoder_ffmpeg.h"

#include <algorithm>
#include <mutex>

#include "base/logger.h"
#include "video/nv12_converter.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/log.h>
}

namespace orvane {
namespace {

// libavcodec and the encoders under it print to standard error at info level; the
// host reports what matters in its own log.
void QuietLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

// Moves interleaved U/V pairs into the frame's separate U and V planes.
void SplitChroma(const uint8_t* uv, size_t uv_pitch, uint32_t chroma_width, uint32_t chroma_height,
                 AVFrame& frame) {
  for (uint32_t row = 0; row < chroma_height; ++row) {
    const uint8_t* pairs = uv + row * uv_pitch;
    uint8_t* u = frame.data[1] + row * static_cast<size_t>(frame.linesize[1]);
    uint8_t* v = frame.data[2] + row * static_cast<size_t>(frame.linesize[2]);
    for (uint32_t x = 0; x < chroma_width; ++x) {
      u[x] = pairs[2 * x];
      v[x] = pairs[2 * x + 1];
    }
  }
}

Status NotInitialized() {
  return Status::Failure(StatusCode::kCodec, "Encoder is not initialized");
}

}  // namespace

FfmpegVideoEncoder::~FfmpegVideoEncoder() {
  Shutdown();
}

bool FfmpegVideoEncoder::Initialize(VideoCodec codec, uint32_t width, uint32_t height, uint32_t fps,
                                    uint32_t bitrate_kbps) {
  Shutdown();
  QuietLibraryLog();
  status_ = Status::Success();
  settings_ = {codec, width, height, fps, bitrate_kbps};
  refused_ = {};
  requested_bitrate_kbps_ = bitrate_kbps;
  requested_fps_ = fps;
  keyframe_requested_ = false;
  frames_since_keyframe_ = 0;
  if (!OpenBestEncoder()) {
    status_ = Status::Failure(StatusCode::kCodec, "Failed to configure software encoder");
    return false;
  }
  LOG_INFO_COLLAPSED("[Encoder] Input type set: %s (CPU BGRA->NV12 converter)",
                     candidate_.input_format == AV_PIX_FMT_YUV420P ? "I420" : "NV12");
  if (!AllocateBuffers()) {
    context_.reset();
    status_ = Status::Failure(StatusCode::kResource, "Failed to allocate encoder input buffer");
    return false;
  }
  initialized_ = true;
  LOG_INFO_COLLAPSED("[Encoder] Initialized: %s %ux%u @%u fps, %u kbps",
                     VideoCodecName(settings_.codec), width, height, fps, bitrate_kbps);
  return true;
}

bool FfmpegVideoEncoder::OpenBestEncoder() {
  bool hardware_tried = false;
  for (const EncoderCandidate& candidate :
       EncoderCandidates(settings_.codec, VaapiRenderNodePresent())) {
    if ((kinds_ == Kinds::kHardwareOnly && !candidate.hardware) ||
        (kinds_ == Kinds::kSoftwareOnly && candidate.hardware)) {
      continue;
    }
    if (!candidate.hardware && !hardware_tried && kinds_ == Kinds::kAny) {
      hardware_tried = true;
      LOG_WARN_COLLAPSED(
          "[Encoder] No hardware encoder found for %s; falling back to software encoder",
          VideoCodecName(settings_.codec));
    }
    std::string error;
    context_ = OpenEncoder(candidate, settings_, error);
    if (context_) {
      candidate_ = candidate;
      LOG_INFO_COLLAPSED("[Encoder] FFmpeg encoder activated (%s, %s).",
                         candidate.hardware ? "hardware" : "software", candidate.name);
      return true;
    }
    LOG_WARN_COLLAPSED("[Encoder] %s not usable: %s", candidate.name, error.c_str());
  }
  LOG_ERROR_COLLAPSED("[Encoder] No %s encoder found for %s",
                      kinds_ == Kinds::kHardwareOnly ? "hardware" : "software",
                      VideoCodecName(settings_.codec));
  return false;
}

bool FfmpegVideoEncoder::AllocateBuffers() {
  input_frame_.reset(av_frame_alloc());
  borrowed_frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!input_frame_ || !borrowed_frame_ || !packet_) {
    return false;
  }
  input_frame_->format = candidate_.input_format;
  input_frame_->width = static_cast<int>(settings_.width);
  input_frame_->height = static_cast<int>(settings_.height);
  if (av_frame_get_buffer(input_frame_.get(), 0) < 0) {
    return false;
  }
  if (candidate_.input_format == AV_PIX_FMT_YUV420P) {
    interleaved_chroma_.resize(size_t{settings_.width} * (settings_.height / 2));
  }
  if (candidate_.vaapi) {
    surface_frame_.reset(av_frame_alloc());
    return surface_frame_ != nullptr;
  }
  return true;
}

bool FfmpegVideoEncoder::EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                     uint32_t height, uint64_t timestamp_us) {
  if (!initialized_ || !context_) {
    status_ = NotInitialized();
    return false;
  }
  ApplyRequestedRates();
  if (!FillInputFrame(data, row_pitch, width, height)) {
    return false;
  }
  return EncodePicture(*input_frame_, timestamp_us);
}

bool FfmpegVideoEncoder::EncodeCapturedFrame(const CapturedFrame& frame, uint64_t timestamp_us) {
  // NVENC may hold a frame it could not take yet until a later call, when the capturer has
  // written the next picture over the lent one; it converts the BGRA frame instead.
  const bool lendable =
      candidate_.input_format == AV_PIX_FMT_NV12 && (!candidate_.hardware || candidate_.vaapi);
  const bool nv12_usable = lendable && frame.nv12 != nullptr && frame.width == settings_.width &&
                           frame.height == settings_.height;
  if (!nv12_usable || !initialized_ || !context_) {
    return EncodeFrame(frame.data, frame.row_pitch, frame.width, frame.height, timestamp_us);
  }
  ApplyRequestedRates();
  if (!BorrowNv12(frame.nv12)) {
    return false;
  }
  const bool sent = EncodePicture(*borrowed_frame_, timestamp_us);
  av_frame_unref(borrowed_frame_.get());
  return sent;
}

bool FfmpegVideoEncoder::BorrowNv12(const uint8_t* nv12) {
  const size_t luma = size_t{settings_.width} * settings_.height;
  // Never freed through the reference: the capturer owns the memory.
  AVBufferRef* buffer = av_buffer_create(
      const_cast<uint8_t*>(nv12), luma + luma / 2, [](void*, uint8_t*) {}, nullptr,
      AV_BUFFER_FLAG_READONLY);
  if (buffer == nullptr) {
    status_ = Status::Failure(StatusCode::kResource, "Failed to allocate encoder input buffer");
    return false;
  }
  AVFrame& frame = *borrowed_frame_;
  frame.buf[0] = buffer;
  frame.format = AV_PIX_FMT_NV12;
  frame.width = static_cast<int>(settings_.width);
  frame.height = static_cast<int>(settings_.height);
  frame.data[0] = buffer->data;
  frame.data[1] = buffer->data + luma;
  frame.linesize[0] = static_cast<int>(settings_.width);
  frame.linesize[1] = static_cast<int>(settings_.width);
  return true;
}

bool FfmpegVideoEncoder::EncodePicture(AVFrame& picture, uint64_t timestamp_us) {
  picture.pts = static_cast<int64_t>(timestamp_us);
  const bool keyframe = keyframe_requested_;
  keyframe_requested_ = false;
  picture.pict_type = keyframe ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  picture.key_frame = keyframe ? 1 : 0;
  if (!candidate_.vaapi) {
    return SendFrame(picture);
  }
  av_frame_unref(surface_frame_.get());
  if (av_hwframe_get_buffer(context_->hw_frames_ctx, surface_frame_.get(), 0) < 0 ||
      av_hwframe_transfer_data(surface_frame_.get(), &picture, 0) < 0 ||
      av_frame_copy_props(surface_frame_.get(), &picture) < 0) {
    status_ = Status::Failure(StatusCode::kResource, "Failed to upload encoder input surface");
    return false;
  }
  return SendFrame(*surface_frame_);
}

bool FfmpegVideoEncoder::FillInputFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                        uint32_t height) {
  // The encoder may still hold the previous picture; it gets a fresh buffer then.
  if (av_frame_make_writable(input_frame_.get()) < 0) {
    status_ = Status::Failure(StatusCode::kResource, "Failed to allocate encoder input buffer");
    return false;
  }
  // A frame of another size than the stream's is cut to the part both share, so it never
  // reads or writes past either image.
  width = std::min(width, settings_.width);
  height = std::min(height, settings_.height);
  AVFrame& frame = *input_frame_;
  const bool planar = frame.format == AV_PIX_FMT_YUV420P;
  const Nv12Planes planes{frame.data[0], static_cast<size_t>(frame.linesize[0]),
                          planar ? interleaved_chroma_.data() : frame.data[1],
                          planar ? settings_.width : static_cast<size_t>(frame.linesize[1])};
  if (!ConvertBgraToNv12(data, row_pitch, width, height, planes)) {
    status_ = Status::Failure(StatusCode::kResource, "Invalid encoder input frame");
    return false;
  }
  if (planar) {
    SplitChroma(planes.uv, planes.uv_pitch, width / 2, height / 2, frame);
  }
  return true;
}

bool FfmpegVideoEncoder::SendFrame(AVFrame& frame) {
  const int result = avcodec_send_frame(context_.get(), &frame);
  if (result < 0) {
    LOG_ERROR("[Encoder] avcodec_send_frame failed: %s", AvErrorText(result).c_str());
    status_ = Status::Failure(StatusCode::kCodec, "Encoder process input failed");
    return false;
  }
  status_ = Status::Success();
  return true;
}

bool FfmpegVideoEncoder::ReceiveAccessUnit(EncodedAccessUnit& out) {
  if (!initialized_ || !context_) {
    status_ = NotInitialized();
    return false;
  }
  const int result = avcodec_receive_packet(context_.get(), packet_.get());
  if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
    return false;
  }
  if (result < 0) {
    LOG_ERROR("[Encoder] avcodec_receive_packet failed: %s", AvErrorText(result).c_str());
    status_ = Status::Failure(StatusCode::kCodec, "Encoder process output failed");
    return false;
  }
  out.bytes.assign(packet_->data, packet_->data + packet_->size);
  out.keyframe = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
  frames_since_keyframe_ = out.keyframe ? 1 : frames_since_keyframe_ + 1;
  if (packet_->pts != AV_NOPTS_VALUE) {
    out.timestamp_us = static_cast<uint64_t>(packet_->pts);
  }
  av_packet_unref(packet_.get());
  status_ = Status::Success();
  return true;
}

void FfmpegVideoEncoder::RequestKeyframe() {
  keyframe_requested_ = true;
}

bool FfmpegVideoEncoder::SetBitrate(uint32_t bitrate_kbps) {
  requested_bitrate_kbps_ = bitrate_kbps;
  return true;
}

void FfmpegVideoEncoder::SetFrameRate(uint32_t fps) {
  requested_fps_ = fps;
}

bool FfmpegVideoEncoder::KeyframeDue() const {
  return keyframe_requested_ || frames_since_keyframe_ == 0 ||
         frames_since_keyframe_ >= kKeyframeIntervalFrames;
}

// A new frame rate reopens the encoder at once (it changes only when a stream is
// renegotiated). A new bitrate alone, which the bitrate controller sends every few frames
// while it climbs, must not give the client an IDR and a stall each time.
void FfmpegVideoEncoder::ApplyRequestedRates() {
  EncoderSettings wanted = settings_;
  wanted.bitrate_kbps = requested_bitrate_kbps_;
  wanted.fps = requested_fps_;
  if (wanted.bitrate_kbps == 0 || wanted.fps == 0 ||
      (wanted.bitrate_kbps == settings_.bitrate_kbps && wanted.fps == settings_.fps)) {
    return;
  }
  const bool bitrate_only = wanted.fps == settings_.fps;
  const BitrateRetune retune = candidate_.bitrate_retune;
  if (bitrate_only && retune != BitrateRetune::kInPlace && !KeyframeDue()) {
    return;
  }
  if (bitrate_only && retune != BitrateRetune::kReopenAtKeyframe) {
    SetContextBitrate(*context_, wanted.bitrate_kbps);
    settings_ = wanted;
    return;
  }
  if (wanted.bitrate_kbps == refused_.bitrate_kbps && wanted.fps == refused_.fps) {
    return;
  }
  if (Reopen(wanted)) {
    settings_ = wanted;
  } else {
    refused_ = wanted;
  }
}

// The new encoder opens before the old one closes, so a refusal leaves the stream running
// at the old rates. Its first picture is a keyframe with parameter sets.
bool FfmpegVideoEncoder::Reopen(const EncoderSettings& settings) {
  std::string error;
  CodecContextPtr context = OpenEncoder(candidate_, settings, error);
  if (!context) {
    LOG_WARN("[Encoder] Reopening %s at %u kbps, %u fps failed: %s", candidate_.name,
             settings.bitrate_kbps, settings.fps, error.c_str());
    return false;
  }
  context_ = std::move(context);
  frames_since_keyframe_ = 0;
  LOG_INFO("[Encoder] %s reopened at %u kbps, %u fps", candidate_.name, settings.bitrate_kbps,
           settings.fps);
  return true;
}

void FfmpegVideoEncoder::Shutdown() {
  initialized_ = false;
  context_.reset();
  input_frame_.reset();
  borrowed_frame_.reset();
  surface_frame_.reset();
  packet_.reset();
  interleaved_chroma_.clear();
}

Status FfmpegVideoEncoder::LastStatus() const {
  return status_;
}

const char* FfmpegVideoEncoder::EncoderName() const {
  return context_ ? candidate_.name : "";
}

}  // namespace orvane
