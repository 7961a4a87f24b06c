#include "viewer/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

namespace orvane::viewer {
namespace {

namespace v1 = orvane::protocol::v1;

AVCodecID CodecId(v1::VideoCodec codec) {
  return codec == v1::VIDEO_CODEC_HEVC ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
}

std::string ErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof(text));
  return text;
}

}  // namespace

std::vector<v1::VideoCodec> DecodableCodecs() {
  std::vector<v1::VideoCodec> codecs;
  for (const v1::VideoCodec codec : {v1::VIDEO_CODEC_H264, v1::VIDEO_CODEC_HEVC}) {
    if (avcodec_find_decoder(CodecId(codec)) != nullptr) {
      codecs.push_back(codec);
    }
  }
  return codecs;
}

VideoDecoder::~VideoDecoder() {
  Close();
}

bool VideoDecoder::Open(v1::VideoCodec codec) {
  Close();
  const AVCodec* decoder = avcodec_find_decoder(CodecId(codec));
  if (decoder == nullptr) {
    last_error_ = "no decoder for this codec";
    return false;
  }
  context_ = avcodec_alloc_context3(decoder);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (context_ == nullptr || packet_ == nullptr || frame_ == nullptr) {
    last_error_ = "out of memory";
    Close();
    return false;
  }
  context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
  context_->flags2 |= AV_CODEC_FLAG2_CHUNKS;
  context_->thread_type = FF_THREAD_SLICE;
  context_->thread_count = 0;
  const int opened = avcodec_open2(context_, decoder, nullptr);
  if (opened < 0) {
    last_error_ = "cannot open the decoder: " + ErrorText(opened);
    Close();
    return false;
  }
  return true;
}

void VideoDecoder::Close() {
  avcodec_free_context(&context_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
}

AVFrame* VideoDecoder::Decode(std::span<const uint8_t> access_unit) {
  if (context_ == nullptr || access_unit.empty()) {
    return nullptr;
  }
  // The packet borrows the bytes: send_packet copies what it keeps.
  packet_->data = const_cast<uint8_t*>(access_unit.data());
  packet_->size = static_cast<int>(access_unit.size());
  const int sent = avcodec_send_packet(context_, packet_);
  av_packet_unref(packet_);
  if (sent < 0 && sent != AVERROR(EAGAIN)) {
    last_error_ = "decode failed: " + ErrorText(sent);
    return nullptr;
  }
  av_frame_unref(frame_);
  const int received = avcodec_receive_frame(context_, frame_);
  if (received < 0) {
    if (received != AVERROR(EAGAIN)) {
      last_error_ = "decode failed: " + ErrorText(received);
    }
    return nullptr;
  }
  return frame_;
}

}  // namespace orvane::viewer
