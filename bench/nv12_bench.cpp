// BGRA -> NV12 of one 1920x1080 frame: our converter against libswscale converting the
// same frame on one thread (nearest-neighbour and fast-bilinear chroma), and against a
// memcpy of the 8 MB BGRA frame, the least any conversion has to touch. Also the SSE2
// kernel alone (the baseline where AVX2 is missing) and the conversion of one 640x360
// rectangle of the frame, as a damage-driven capture converts a window that changed. Every
// benchmark counts frames as its items.
extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "video/nv12_converter.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kBgraSize = size_t{kWidth} * kHeight * 4;

// One frame of noise, made once: what the converters read.
const std::vector<uint8_t>& BgraFrame() {
  static const std::vector<uint8_t> frame = [] {
    std::vector<uint8_t> bytes(kBgraSize);
    std::mt19937 random(7);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<uint8_t>(random()); });
    return bytes;
  }();
  return frame;
}

void CountFrames(benchmark::State& state, const char* label) {
  state.SetLabel(label);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBgraSize));
}

void ConvertOurs(benchmark::State& state, orvane::Nv12Kernel kernel, const char* label) {
  const std::vector<uint8_t>& bgra = BgraFrame();
  std::vector<uint8_t> nv12(size_t{kWidth} * kHeight * 3 / 2);
  const orvane::Nv12Planes planes{nv12.data(), kWidth, nv12.data() + kWidth * kHeight, kWidth};
  if (!orvane::Nv12KernelAvailable(kernel)) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  for (auto _ : state) {
    if (!orvane::ConvertBgraToNv12(kernel, bgra.data(), kWidth * 4, kWidth, kHeight, planes)) {
      state.SkipWithError("conversion refused");
      break;
    }
    benchmark::DoNotOptimize(nv12.data());
  }
  CountFrames(state, label);
}

// One rectangle at an odd place, as the damage-driven capture converts it.
void ConvertRect(benchmark::State& state) {
  const std::vector<uint8_t>& bgra = BgraFrame();
  std::vector<uint8_t> nv12(size_t{kWidth} * kHeight * 3 / 2);
  const orvane::Nv12Planes planes{nv12.data(), kWidth, nv12.data() + kWidth * kHeight, kWidth};
  for (auto _ : state) {
    if (!orvane::ConvertBgraRectToNv12(bgra.data(), kWidth * 4, kWidth, kHeight,
                                       {333, 201, 640, 360}, planes)) {
      state.SkipWithError("conversion refused");
      break;
    }
    benchmark::DoNotOptimize(nv12.data());
  }
  CountFrames(state, "ours, one 640x360 rectangle of the frame");
  state.SetBytesProcessed(state.iterations() * int64_t{640 * 360 * 4});
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

void ConvertSwscale(benchmark::State& state, int flags, const char* label) {
  SwsContext* context = MakeScaler(flags);
  if (context == nullptr) {
    state.SkipWithError("libswscale set-up failed");
    return;
  }
  std::vector<uint8_t> nv12(size_t{kWidth} * kHeight * 3 / 2);
  const uint8_t* const source[] = {BgraFrame().data()};
  const int source_stride[] = {kWidth * 4};
  uint8_t* const destination[] = {nv12.data(), nv12.data() + kWidth * kHeight};
  const int destination_stride[] = {kWidth, kWidth};
  for (auto _ : state) {
    sws_scale(context, source, source_stride, 0, kHeight, destination, destination_stride);
    benchmark::DoNotOptimize(nv12.data());
  }
  sws_freeContext(context);
  CountFrames(state, label);
}

void CopyBgra(benchmark::State& state) {
  const std::vector<uint8_t>& bgra = BgraFrame();
  std::vector<uint8_t> copy(bgra.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), bgra.data(), bgra.size());
    benchmark::DoNotOptimize(copy.data());
  }
  CountFrames(state, "memcpy of the BGRA frame (8 MB)");
}

void RegisterBenchmarks() {
  benchmark::RegisterBenchmark(
      "ours", ConvertOurs, orvane::BestNv12Kernel(),
      orvane::BestNv12Kernel() == orvane::Nv12Kernel::kAvx2 ? "ours (AVX2)" : "ours (SSE2)");
  benchmark::RegisterBenchmark("ours_sse2", ConvertOurs, orvane::Nv12Kernel::kSse2,
                               "ours, SSE2 kernel");
  benchmark::RegisterBenchmark("ours_rect_640x360", ConvertRect);
  benchmark::RegisterBenchmark("swscale_point", ConvertSwscale, SWS_POINT, "libswscale SWS_POINT");
  benchmark::RegisterBenchmark("swscale_fast_bilinear", ConvertSwscale, SWS_FAST_BILINEAR,
                               "libswscale SWS_FAST_BILINEAR");
  benchmark::RegisterBenchmark("memcpy", CopyBgra);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::AddCustomContext("subject", "BGRA -> NV12, 1920x1080, one thread");
  RegisterBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
