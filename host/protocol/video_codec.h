#pragma once

#include <cstdint>

namespace orvane {

// The codecs a stream can use, numbered as the wire's VideoCodec.
enum class VideoCodec : uint32_t { kH264 = 1, kHevc = 2 };

// What the logs call the codec: "H264" or "HEVC".
inline const char* VideoCodecName(VideoCodec codec) {
  return codec == VideoCodec::kHevc ? "HEVC" : "H264";
}

// A codec number from the client; anything but HEVC streams as H.264.
inline VideoCodec VideoCodecFromWire(uint32_t value) {
  return value == static_cast<uint32_t>(VideoCodec::kHevc) ? VideoCodec::kHevc : VideoCodec::kH264;
}

}  // namespace orvane
