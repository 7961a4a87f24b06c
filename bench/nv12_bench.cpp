// BGRA -> NV12 of one 1920x1080 frame: our converter against libswscale converting the
// same frame on one thread (nearest-neighbour and fast-bilinear chroma), and against a
// memcpy of the 8 MB BGRA frame, the least any conversion has to touch. All from one run.
extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "video/nv12_converter.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFramesPerRound = 60;
constexpr int kRounds = 5;

// Milliseconds per frame, best of a few rounds: the machine is shared.
double MillisPerFrame(const std::function<void()>& convert_one) {
  double best = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < kFramesPerRound; ++frame) {
      convert_one();
    }
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    const double per_frame = elapsed.count() / kFramesPerRound;
    best = round == 0 ? per_frame : std::min(best, per_frame);
  }
  return best;
}

// A single-threaded scaler at the same size, so only the conversion is measured.
SwsContext* MakeScaler(int flags) {
  SwsContext* context = sws_alloc_context();
  if (context == nullptr) {
    return nullptr;
  }
  av_opt_set_int(context, "srcw", kWidth, 0);
  av_opt_set_int(context, "srch", kHeight, 0);
  av_opt_set_int(context, "src_format", AV_PIX_FMT_BGRA, 0);
  av_opt_set_int(context, "dstw", kWidth, 0);
  av_opt_set_int(context, "dsth", kHeight, 0);
  av_opt_set_int(context, "dst_format", AV_PIX_FMT_NV12, 0);
  av_opt_set_int(context, "sws_flags", flags, 0);
  av_opt_set_int(context, "threads", 1, 0);
  if (sws_init_context(context, nullptr, nullptr) < 0) {
    sws_freeContext(context);
    return nullptr;
  }
  return context;
}

double SwscaleMillis(int flags, const std::vector<uint8_t>& bgra, std::vector<uint8_t>& nv12) {
  SwsContext* context = MakeScaler(flags);
  if (context == nullptr) {
    std::fprintf(stderr, "libswscale set-up failed\n");
    return 0;
  }
  const uint8_t* const source[] = {bgra.data()};
  const int source_stride[] = {kWidth * 4};
  uint8_t* const destination[] = {nv12.data(), nv12.data() + kWidth * kHeight};
  const int destination_stride[] = {kWidth, kWidth};
  const double ms = MillisPerFrame([&] {
    sws_scale(context, source, source_stride, 0, kHeight, destination, destination_stride);
  });
  sws_freeContext(context);
  return ms;
}

}  // namespace

int main() {
  std::vector<uint8_t> bgra(size_t{kWidth} * kHeight * 4);
  std::mt19937 random(7);
  std::generate(bgra.begin(), bgra.end(), [&] { return static_cast<uint8_t>(random()); });
  std::vector<uint8_t> nv12(size_t{kWidth} * kHeight * 3 / 2);
  std::vector<uint8_t> copy(bgra.size());

  const orvane::Nv12Planes planes{nv12.data(), kWidth, nv12.data() + kWidth * kHeight, kWidth};
  bool converted = true;
  const double ours = MillisPerFrame([&] {
    converted =
        converted && orvane::ConvertBgraToNv12(bgra.data(), kWidth * 4, kWidth, kHeight, planes);
  });
  if (!converted) {
    std::fprintf(stderr, "conversion refused\n");
    return 1;
  }
  const double point = SwscaleMillis(SWS_POINT, bgra, nv12);
  const double bilinear = SwscaleMillis(SWS_FAST_BILINEAR, bgra, nv12);
  const double memcpy_ms =
      MillisPerFrame([&] { std::memcpy(copy.data(), bgra.data(), bgra.size()); });
  if (point == 0 || bilinear == 0) {
    return 1;
  }

  std::printf("BGRA -> NV12, %dx%d, one thread, best of %d rounds of %d frames\n", kWidth, kHeight,
              kRounds, kFramesPerRound);
  std::printf("  %-36s %7.3f ms/frame\n", "ours", ours);
  std::printf("  %-36s %7.3f ms/frame\n", "libswscale SWS_POINT", point);
  std::printf("  %-36s %7.3f ms/frame\n", "libswscale SWS_FAST_BILINEAR", bilinear);
  std::printf("  %-36s %7.3f ms/frame\n", "memcpy of the BGRA frame (8 MB)", memcpy_ms);
  std::printf("Ratios (time per frame, lower is better for us):\n");
  std::printf("  ours / libswscale SWS_POINT          %.2f\n", ours / point);
  std::printf("  ours / libswscale SWS_FAST_BILINEAR  %.2f\n", ours / bilinear);
  std::printf("  ours / memcpy                        %.2f\n", ours / memcpy_ms);
  return 0;
}
