#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/orvane_protocol_v1.pb.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace orvane::viewer {

// The codecs libavcodec on this machine decodes, of those the host may send.
std::vector<orvane::protocol::v1::VideoCodec> DecodableCodecs();

// One stream's decoder, set for delay rather than throughput: a picture leaves the moment
// its access unit is in (no frame threads, which hold pictures back; slice threads,
// which do not). Used from one thread.
class VideoDecoder {
 public:
  VideoDecoder() = default;
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  bool Open(orvane::protocol::v1::VideoCodec codec);
  void Close();
  bool is_open() const { return context_ != nullptr; }

  // Decodes one access unit; the picture it completes, owned by the decoder until the next
  // call, or null (none yet, or the data did not decode: see last_error).
  AVFrame* Decode(std::span<const uint8_t> access_unit);

  const std::string& last_error() const { return last_error_; }

 private:
  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  std::string last_error_;
};

}  // namespace orvane::viewer
