// Capture-to-send latency of the audio pipeline on a real PulseAudio server: for every
// packet, the time from the capture of its first sample (the packet's timestamp) to the
// moment it is handed to the sender. A packet holds 20 ms, so its first sample waits at
// least that long for the last one. Something must play into the default sink meanwhile.
// usage: audio_latency SERVER SECONDS
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_pipeline.h"
#include "audio/loopback_audio_capture_pulse.h"
#include "platform/clock.h"

namespace {

double Percentile(std::vector<uint64_t> values, double percent) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<size_t>(percent / 100.0 * static_cast<double>(values.size() - 1));
  return static_cast<double>(values[index]) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SERVER SECONDS\n", argv[0]);
    return 2;
  }
  const std::string server = argv[1];
  const int seconds = std::atoi(argv[2]);
  orvane::AudioPipeline pipeline(
      [&server]() -> std::unique_ptr<orvane::LoopbackAudioCapture> {
        return std::make_unique<orvane::PulseLoopbackCapture>(server);
      },
      {});
  if (!pipeline.Initialize()) {
    return 1;
  }
  std::mutex mutex;
  std::vector<uint64_t> latencies_us;
  std::atomic<bool> streaming{true};
  pipeline.Start(
      true,
      [&](uint32_t, uint64_t timestamp_us, uint8_t, const uint8_t*, uint32_t) {
        const uint64_t now_us = orvane::MonotonicMicros();
        std::lock_guard<std::mutex> lock(mutex);
        latencies_us.push_back(now_us - std::min(now_us, timestamp_us));
      },
      streaming);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  pipeline.Stop();
  if (latencies_us.empty()) {
    std::fprintf(stderr, "no audio packet was sent: did anything play?\n");
    return 1;
  }
  std::printf("  capture-to-send latency over %zu packets: p50 %.2f ms, p95 %.2f ms\n",
              latencies_us.size(), Percentile(latencies_us, 50), Percentile(latencies_us, 95));
  return 0;
}
