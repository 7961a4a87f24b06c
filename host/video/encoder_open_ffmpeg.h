#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/video_codec.h"

#include "video/handles_ffmpeg.h"

namespace orvane {

struct EncoderSettings {
  VideoCodec codec = VideoCodec::kH264;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t fps = 0;
  uint32_t bitrate_kbps = 0;
};

// Frames from one keyframe to the next one the encoder makes by itself. Every encoder is
// opened with it, so the stream knows which frame will be a keyframe anyway.
constexpr uint32_t kKeyframeIntervalFrames = 250;

// How an open encoder takes a new bitrate.
enum class BitrateRetune {
  // libx264 reconfigures itself before the next frame when the context's rates change.
  kInPlace,
  // NVENC reconfigures itself too, but libavcodec resets it with an IDR to do so.
  kInPlaceAtKeyframe,
  // libx265 and VAAPI read the rates only when they open.
  kReopenAtKeyframe,
};

// One libavcodec encoder worth trying.
struct EncoderCandidate {
  const char* name = "";
  bool hardware = false;
  // Takes frames in VAAPI surfaces rather than in system memory.
  bool vaapi = false;
  // The layout of the pictures in system memory (uploaded to surfaces for VAAPI).
  AVPixelFormat input_format = AV_PIX_FMT_NV12;
  BitrateRetune bitrate_retune = BitrateRetune::kReopenAtKeyframe;
};

// Whether the render node VAAPI encoders open is there to be used.
bool VaapiRenderNodePresent();

// The encoders to try, best first: VAAPI when a render node is present, NVENC, then
// the software encoder, which is always last.
std::vector<EncoderCandidate> EncoderCandidates(VideoCodec codec, bool render_node_present);

// Opens `candidate` for one-frame-in, one-access-unit-out streaming: no B-frames, no
// lookahead, Annex-B with parameter sets repeated before every keyframe, a keyframe every
// kKeyframeIntervalFrames.
// On failure returns null and says why in `error`.
CodecContextPtr OpenEncoder(const EncoderCandidate& candidate, const EncoderSettings& settings,
                            std::string& error);

// Writes the mean rate and its VBV bounds into the context.
void SetContextBitrate(AVCodecContext& context, uint32_t bitrate_kbps);

// av_err2str without its compound literal, which C++ does not have.
std::string AvErrorText(int error);

}  // namespace orvane
