#include "video/encoder_open_ffmpeg.h"

#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixfmt.h>
}

#include "video/nv12_colour.h"

namespace orvane {
namespace {

constexpr char kRenderNode[] = "/dev/dri/renderD128";

struct DictionaryDeleter {
  void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryDeleter>;

// Per-encoder private options; the ones an encoder does not know stay unused.
DictionaryPtr LowLatencyOptions(const EncoderCandidate& candidate) {
  AVDictionary* options = nullptr;
  const std::string name = candidate.name;
  // A requested I picture must be an IDR, or the client could not start decoding there.
  av_dict_set(&options, "forced-idr", "1", 0);
  if (name == "libx264") {
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "x264-params", "rc-lookahead=0:sync-lookahead=0:repeat-headers=1", 0);
  } else if (name == "libx265") {
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "x265-params", "repeat-headers=1:rc-lookahead=0:log-level=error", 0);
  } else if (candidate.vaapi) {
    av_dict_set(&options, "async_depth", "1", 0);
  } else {
    av_dict_set(&options, "preset", "p1", 0);
    av_dict_set(&options, "tune", "ull", 0);
    av_dict_set(&options, "zerolatency", "1", 0);
    av_dict_set(&options, "delay", "0", 0);
  }
  return DictionaryPtr(options);
}

// VAAPI encoders take their pictures from a pool of surfaces on the render node.
bool AttachVaapiFrames(AVCodecContext& context, AVPixelFormat input_format, std::string& error) {
  AVBufferRef* device = nullptr;
  int result = av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, kRenderNode, nullptr, 0);
  if (result < 0) {
    error = "VAAPI device: " + AvErrorText(result);
    return false;
  }
  const BufferRefPtr device_ref(device);
  BufferRefPtr frames(av_hwframe_ctx_alloc(device));
  if (!frames) {
    error = "VAAPI frame pool: out of memory";
    return false;
  }
  auto* pool = reinterpret_cast<AVHWFramesContext*>(frames->data);
  pool->format = AV_PIX_FMT_VAAPI;
  pool->sw_format = input_format;
  pool->width = context.width;
  pool->height = context.height;
  pool->initial_pool_size = 4;
  result = av_hwframe_ctx_init(frames.get());
  if (result < 0) {
    error = "VAAPI frame pool: " + AvErrorText(result);
    return false;
  }
  context.hw_frames_ctx = frames.release();
  return true;
}

// Libavcodec's colour enumerations take the H.273 code points; every encoder here writes
// them into the VUI of its sequence parameter sets.
void DeclareColour(AVCodecContext& context) {
  context.color_primaries = static_cast<AVColorPrimaries>(kNv12Colour.primaries);
  context.color_trc = static_cast<AVColorTransferCharacteristic>(kNv12Colour.transfer);
  context.colorspace = static_cast<AVColorSpace>(kNv12Colour.matrix);
  context.color_range = kNv12Colour.full_range ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
}

}  // namespace

bool VaapiRenderNodePresent() {
  return access(kRenderNode, R_OK | W_OK) == 0;
}

std::vector<EncoderCandidate> EncoderCandidates(VideoCodec codec, bool render_node_present) {
  const bool hevc = codec == VideoCodec::kHevc;
  std::vector<EncoderCandidate> candidates;
  if (render_node_present) {
    candidates.push_back({hevc ? "hevc_vaapi" : "h264_vaapi", true, true, AV_PIX_FMT_NV12,
                          BitrateRetune::kReopenAtKeyframe});
  }
  candidates.push_back({hevc ? "hevc_nvenc" : "h264_nvenc", true, false, AV_PIX_FMT_NV12,
                        BitrateRetune::kInPlaceAtKeyframe});
  // libx265 takes no interleaved chroma.
  candidates.push_back(
      hevc ? EncoderCandidate{"libx265", false, false, AV_PIX_FMT_YUV420P,
                              BitrateRetune::kReopenAtKeyframe}
           : EncoderCandidate{"libx264", false, false, AV_PIX_FMT_NV12, BitrateRetune::kInPlace});
  return candidates;
}

CodecContextPtr OpenEncoder(const EncoderCandidate& candidate, const EncoderSettings& settings,
                            std::string& error) {
  const AVCodec* codec = avcodec_find_encoder_by_name(candidate.name);
  if (!codec) {
    error = "not in this FFmpeg build";
    return nullptr;
  }
  CodecContextPtr context(avcodec_alloc_context3(codec));
  if (!context) {
    error = "out of memory";
    return nullptr;
  }
  context->width = static_cast<int>(settings.width);
  context->height = static_cast<int>(settings.height);
  context->pix_fmt = candidate.vaapi ? AV_PIX_FMT_VAAPI : candidate.input_format;
  // Timestamps are the capture times in microseconds; the frame rate only sizes the
  // per-frame budget of the rate control.
  context->time_base = AVRational{1, 1000000};
  context->framerate = AVRational{static_cast<int>(settings.fps), 1};
  context->max_b_frames = 0;
  context->gop_size = static_cast<int>(kKeyframeIntervalFrames);
  context->flags |= AV_CODEC_FLAG_LOW_DELAY;
  DeclareColour(*context);
  // Frame threads hold back one picture per thread; slice threads do not. libx264 left to
  // choose takes more slice threads than cores, and on a busy 2-core machine one per core
  // encoded 1080p faster at the median and the 95th percentile alike.
  context->thread_count = candidate.name == std::string("libx264")
                              ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))
                              : 0;
  context->thread_type = FF_THREAD_SLICE;
  SetContextBitrate(*context, settings.bitrate_kbps);
  if (candidate.vaapi && !AttachVaapiFrames(*context, candidate.input_format, error)) {
    return nullptr;
  }
  DictionaryPtr options = LowLatencyOptions(candidate);
  AVDictionary* remaining = options.release();
  const int result = avcodec_open2(context.get(), codec, &remaining);
  av_dict_free(&remaining);
  if (result < 0) {
    error = AvErrorText(result);
    return nullptr;
  }
  return context;
}

void SetContextBitrate(AVCodecContext& context, uint32_t bitrate_kbps) {
  const int64_t bits_per_second = static_cast<int64_t>(bitrate_kbps) * 1000;
  context.bit_rate = bits_per_second;
  context.rc_max_rate = bits_per_second;
  // Half a second of buffer lets a keyframe through without starving the frames after
  // it, and bounds how long the stream may run above the rate.
  context.rc_buffer_size = static_cast<int>(bits_per_second / 2);
}

std::string AvErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof(text));
  return text;
}

}  // namespace orvane
