// Per-frame encode cost of the software H.264 encoders on 1080p screen content, one
// workload per benchmark: typing (a few characters change), scrolling (the page moves up)
// and a video in a corner. Bytes per frame are reported beside the time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "base/logger.h"
#include "video/video_encoder_ffmpeg.h"
#include "video/video_encoder_openh264.h"

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr uint32_t kFps = 60;

enum Workload { kTyping, kScrolling, kCornerVideo };
enum Encoder { kX264, kOpenH264 };

// A page of "text": dark strokes on white in lines of 20 rows.
std::vector<uint8_t> Page(uint32_t first_row) {
  std::vector<uint8_t> bgra(size_t{kWidth} * kHeight * 4, 255);
  for (uint32_t y = 0; y < kHeight; ++y) {
    const uint32_t page_row = y + first_row;
    if (page_row % 20 >= 14) {
      continue;
    }
    for (uint32_t x = 40; x < kWidth - 40; ++x) {
      if (((x / 3) * 2654435761u + (page_row / 20) * 40503u + page_row % 20) % 7 < 2) {
        uint8_t* pixel = &bgra[(size_t{y} * kWidth + x) * 4];
        pixel[0] = pixel[1] = pixel[2] = 30;
      }
    }
  }
  return bgra;
}

void Change(std::vector<uint8_t>& bgra, Workload workload, uint32_t frame, std::mt19937& random) {
  if (workload == kScrolling) {
    bgra = Page(frame * 8);
    return;
  }
  if (workload == kTyping) {
    const uint32_t x0 = 40 + (frame % 200) * 9;
    for (uint32_t y = 500; y < 514; ++y) {
      for (uint32_t x = x0; x < x0 + 9; ++x) {
        uint8_t* pixel = &bgra[(size_t{y} * kWidth + x) * 4];
        pixel[0] = pixel[1] = pixel[2] = (x + y + frame) % 3 == 0 ? 30 : 255;
      }
    }
    return;
  }
  std::uniform_int_distribution<int> byte(0, 63);
  for (uint32_t y = kHeight - 360; y < kHeight; ++y) {
    for (uint32_t x = kWidth - 640; x < kWidth; ++x) {
      uint8_t* pixel = &bgra[(size_t{y} * kWidth + x) * 4];
      for (uint32_t channel = 0; channel < 3; ++channel) {
        pixel[channel] = static_cast<uint8_t>(byte(random) + x * (channel + 1) + y + frame * 4);
      }
    }
  }
}

void EncodeWorkload(benchmark::State& state, Encoder encoder_kind, Workload workload) {
  std::unique_ptr<orvane::VideoEncoder> encoder;
  if (encoder_kind == kOpenH264) {
    encoder = std::make_unique<orvane::OpenH264VideoEncoder>();
  } else {
    encoder = std::make_unique<orvane::FfmpegVideoEncoder>();
  }
  if (!encoder->Initialize(orvane::VideoCodec::kH264, kWidth, kHeight, kFps, 8000)) {
    state.SkipWithError("encoder did not open");
    return;
  }
  std::vector<uint8_t> bgra = Page(0);
  std::mt19937 random(3);
  uint32_t frame = 0;
  size_t bytes = 0;
  orvane::EncodedAccessUnit unit;
  for (auto _ : state) {
    state.PauseTiming();
    Change(bgra, workload, frame, random);
    state.ResumeTiming();
    encoder->EncodeFrame(bgra.data(), kWidth * 4, kWidth, kHeight, uint64_t{frame} * 16666);
    while (encoder->ReceiveAccessUnit(unit)) {
      bytes += unit.bytes.size();
    }
    ++frame;
  }
  state.SetItemsProcessed(frame);
  state.counters["bytes_per_frame"] =
      benchmark::Counter(static_cast<double>(bytes) / static_cast<double>(frame));
}

}  // namespace

// Wall time: libx264 works in threads of its own, and a frame's time is its latency.
#define ENCODE_WORKLOAD(name, encoder, workload)             \
  BENCHMARK_CAPTURE(EncodeWorkload, name, encoder, workload) \
      ->Unit(benchmark::kMillisecond)                        \
      ->UseRealTime()

ENCODE_WORKLOAD(x264_typing, kX264, kTyping);
ENCODE_WORKLOAD(openh264_typing, kOpenH264, kTyping);
ENCODE_WORKLOAD(x264_scrolling, kX264, kScrolling);
ENCODE_WORKLOAD(openh264_scrolling, kOpenH264, kScrolling);
ENCODE_WORKLOAD(x264_corner_video, kX264, kCornerVideo);
ENCODE_WORKLOAD(openh264_corner_video, kOpenH264, kCornerVideo);

int main(int argc, char** argv) {
  // The report goes to standard output.
  orvane::Logger::Instance().SetConsoleStream(stderr);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
