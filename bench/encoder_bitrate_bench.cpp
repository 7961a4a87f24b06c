// What a bitrate change costs the software encoders at 1280x720: time per frame of a
// stream at a steady rate (the anchor) against the same stream with a new rate before
// every frame, as a climbing bitrate controller would at its fastest; the same pair with a
// keyframe requested every 10th frame; the time of the SetBitrate call itself; and the
// keyframes each stream got and its longest frame. All from one run.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "video/video_encoder_ffmpeg.h"

namespace {

constexpr uint32_t kWidth = 1280;
constexpr uint32_t kHeight = 720;
constexpr uint32_t kFps = 30;
constexpr uint32_t kStartKbps = 2000;
constexpr uint32_t kWarmupFrames = 5;
constexpr uint32_t kFramesPerRound = 30;
constexpr int kRounds = 2;
constexpr uint32_t kPatterns = 8;
constexpr uint32_t kKeyframeSpacing = 10;

// Screen-like content that moves: a few frames made once and played in turn.
std::vector<std::vector<uint8_t>> MovingFrames() {
  std::vector<std::vector<uint8_t>> frames(kPatterns);
  for (uint32_t index = 0; index < kPatterns; ++index) {
    std::vector<uint8_t>& bgra = frames[index];
    bgra.resize(size_t{kWidth} * kHeight * 4);
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        uint8_t* pixel = &bgra[(size_t{y} * kWidth + x) * 4];
        pixel[0] = static_cast<uint8_t>(x + index * 8);
        pixel[1] = static_cast<uint8_t>(y * 2 + index * 4);
        pixel[2] = static_cast<uint8_t>(((x / 32 + y / 32 + index) % 2) * 200 + (x * y) % 37);
        pixel[3] = 255;
      }
    }
  }
  return frames;
}

struct StreamRun {
  double ms_per_frame = 0;
  // The longest single frame: a reopened encoder stalls the stream for this long.
  double worst_frame_ms = 0;
  double set_bitrate_us = 0;
  uint32_t keyframes = 0;
  uint32_t frames = 0;
  bool ok = true;
};

struct StreamShape {
  bool change_every_frame = false;
  bool periodic_keyframes = false;
};

// Best of a few rounds: the machine is shared.
StreamRun RunStream(orvane::VideoCodec codec, const StreamShape& shape,
                    const std::vector<std::vector<uint8_t>>& frames) {
  orvane::FfmpegVideoEncoder encoder;
  StreamRun best;
  if (!encoder.Initialize(codec, kWidth, kHeight, kFps, kStartKbps)) {
    best.ok = false;
    return best;
  }
  uint32_t kbps = kStartKbps;
  uint64_t frame_number = 0;
  orvane::EncodedAccessUnit unit;
  const auto encode_one = [&](StreamRun& run) {
    if (shape.change_every_frame) {
      // +10% steps, back to the start after a doubling.
      kbps = kbps >= 2 * kStartKbps ? kStartKbps : kbps + kbps / 10;
      const auto start = std::chrono::steady_clock::now();
      encoder.SetBitrate(kbps);
      const std::chrono::duration<double, std::micro> elapsed =
          std::chrono::steady_clock::now() - start;
      run.set_bitrate_us += elapsed.count();
    }
    if (shape.periodic_keyframes && frame_number % kKeyframeSpacing == 0) {
      encoder.RequestKeyframe();
    }
    const std::vector<uint8_t>& bgra = frames[frame_number % kPatterns];
    const auto start = std::chrono::steady_clock::now();
    run.ok = run.ok && encoder.EncodeFrame(bgra.data(), kWidth * 4, kWidth, kHeight,
                                           frame_number * 1000000 / kFps);
    while (encoder.ReceiveAccessUnit(unit)) {
      run.keyframes += unit.keyframe ? 1 : 0;
    }
    const std::chrono::duration<double, std::milli> frame_time =
        std::chrono::steady_clock::now() - start;
    run.worst_frame_ms = std::max(run.worst_frame_ms, frame_time.count());
    ++run.frames;
    ++frame_number;
  };

  StreamRun warmup;
  for (uint32_t frame = 0; frame < kWarmupFrames; ++frame) {
    encode_one(warmup);
  }
  for (int round = 0; round < kRounds; ++round) {
    StreamRun run;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t frame = 0; frame < kFramesPerRound; ++frame) {
      encode_one(run);
    }
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    run.ms_per_frame = elapsed.count() / kFramesPerRound;
    run.set_bitrate_us /= kFramesPerRound;
    if (round == 0 || run.ms_per_frame < best.ms_per_frame) {
      best = run;
    }
    best.ok = best.ok && run.ok;
  }
  return best;
}

void PrintRun(const char* label, const StreamRun& run) {
  std::printf("  %-42s %7.2f ms/frame, worst %7.2f ms, keyframes %2u of %u", label,
              run.ms_per_frame, run.worst_frame_ms, run.keyframes, run.frames);
  if (run.set_bitrate_us > 0) {
    std::printf("  SetBitrate %.3f us", run.set_bitrate_us);
  }
  std::printf("\n");
}

}  // namespace

int main() {
  const std::vector<std::vector<uint8_t>> frames = MovingFrames();
  std::printf("Bitrate changes at %ux%u @%u fps, best of %d rounds of %u frames\n", kWidth, kHeight,
              kFps, kRounds, kFramesPerRound);
  for (const orvane::VideoCodec codec : {orvane::VideoCodec::kH264, orvane::VideoCodec::kHevc}) {
    const char* name = orvane::VideoCodecName(codec);
    const StreamRun steady = RunStream(codec, {false, false}, frames);
    const StreamRun changing = RunStream(codec, {true, false}, frames);
    const StreamRun keyed = RunStream(codec, {false, true}, frames);
    const StreamRun keyed_changing = RunStream(codec, {true, true}, frames);
    if (!steady.ok || !changing.ok || !keyed.ok || !keyed_changing.ok) {
      std::fprintf(stderr, "%s: the encoder failed\n", name);
      return 1;
    }
    std::printf("%s\n", name);
    PrintRun("steady rate (anchor)", steady);
    PrintRun("new rate before every frame", changing);
    PrintRun("keyframe every 10th frame (anchor)", keyed);
    PrintRun("keyframe every 10th frame, new rate each", keyed_changing);
    std::printf("  ratio new rate / steady                      %.2f\n",
                changing.ms_per_frame / steady.ms_per_frame);
    std::printf("  ratio with keyframes, new rate / steady      %.2f\n",
                keyed_changing.ms_per_frame / keyed.ms_per_frame);
  }
  return 0;
}
