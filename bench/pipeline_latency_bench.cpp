// Where the time of one video frame goes, stage by stage, on the real pipeline: MIT-SHM
// capture of $DISPLAY (with its damage-driven copy), BGRA->NV12, the software H.264
// encoder as the host opens it, the sealed UDP send, and the reference client's receipt
// and reassembly on loopback. Frames are taken at 60 fps like the frame loop, each stamped
// before its capture, so "capture timestamp -> client receipt" is the latency the client
// sees. Prints p50 and p95 of every stage (ms).
//
// Usage: pipeline_latency_bench SECONDS SCENE   (SCENE only labels the output)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/logger.h"
#include "client/frame_reassembler.h"
#include "client/media_receiver.h"
#include "net/udp_media_sender.h"
#include "platform/clock.h"
#include "platform/platform_runtime.h"
#include "platform/x11/x11_display_source.h"
#include "video/shm_capturer_x11.h"
#include "video/video_encoder_ffmpeg.h"

namespace {

using namespace orvane;

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr uint32_t kFps = 60;
constexpr uint32_t kBitrateKbps = 8000;
const std::vector<uint8_t> kSessionKey(32, 0x5A);

struct FrameTimes {
  double capture = 0;
  double convert = 0;
  double encode = 0;
  double send = 0;
  uint64_t timestamp_us = 0;
  uint64_t sent_us = 0;
  uint64_t converted_pixels = 0;
};

double Percentile(std::vector<double> values, int percent) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, values.size() * percent / 100)];
}

// Receives on loopback as the client does and notes when each frame is complete.
class Receiver {
 public:
  bool Open() {
    if (!receiver_.Open(0)) {
      return false;
    }
    receiver_.SetKey(kSessionKey);
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  void Stop() {
    running_ = false;
    thread_.join();
  }
  uint16_t port() const { return receiver_.port(); }
  // Receipt time (µs) by capture timestamp.
  std::map<uint64_t, uint64_t> Receipts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return receipts_;
  }

 private:
  void Run() {
    client::FrameReassembler reassembler;
    std::vector<client::AccessUnit> complete;
    client::ReceivedMedia media;
    while (running_) {
      if (!receiver_.Receive(std::chrono::milliseconds(50), media) ||
          media.kind != client::MediaKind::kVideo) {
        continue;
      }
      complete.clear();
      reassembler.AddFragment(media.video, complete);
      const uint64_t now_us = MonotonicMicros();
      std::lock_guard<std::mutex> lock(mutex_);
      for (const client::AccessUnit& unit : complete) {
        receipts_.emplace(unit.timestamp_us, now_us);
      }
    }
  }

  client::MediaReceiver receiver_;
  std::thread thread_;
  std::atomic<bool> running_{true};
  std::mutex mutex_;
  std::map<uint64_t, uint64_t> receipts_;
};

double Ms(uint64_t from_us, uint64_t to_us) {
  return static_cast<double>(static_cast<int64_t>(to_us - from_us)) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const std::string scene = argc > 2 ? argv[2] : "the display's content";
  if (!StartPlatformRuntime().ok()) {
    return 1;
  }
  // The table is this program's output; the components' log lines go to standard error.
  Logger::Instance().SetConsoleStream(stderr);
  auto displays = std::make_shared<X11DisplaySource>();
  X11ShmCapturer capturer(displays);
  if (!capturer.Initialize(0, kWidth, kHeight)) {
    std::fprintf(stderr, "pipeline_latency_bench: no MIT-SHM capture of $DISPLAY\n");
    return 1;
  }
  FfmpegVideoEncoder encoder;
  if (!encoder.Initialize(VideoCodec::kH264, kWidth, kHeight, kFps, kBitrateKbps)) {
    std::fprintf(stderr, "pipeline_latency_bench: %s\n", encoder.LastStatus().message.c_str());
    return 1;
  }
  Receiver receiver;
  UdpMediaSender sender;
  if (!receiver.Open() || !sender.Open().ok || !sender.SetRemote("127.0.0.1", receiver.port()).ok) {
    std::fprintf(stderr, "pipeline_latency_bench: loopback UDP unavailable\n");
    return 1;
  }
  sender.SetSessionKey(kSessionKey);

  std::vector<FrameTimes> frames;
  uint32_t frame_number = 0;
  const auto interval = std::chrono::microseconds(1000000 / kFps);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  auto next = std::chrono::steady_clock::now();
  EncodedAccessUnit unit;
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_until(next);
    next += interval;
    FrameTimes times;
    times.timestamp_us = MonotonicMicros();
    const CapturedFrame frame = capturer.Capture(16);
    if (frame.status != CaptureStatus::kFrameReady) {
      continue;
    }
    const uint64_t captured_us = MonotonicMicros();
    times.convert = static_cast<double>(capturer.last_conversion_us()) / 1000.0;
    times.capture = Ms(times.timestamp_us, captured_us) - times.convert;
    times.converted_pixels = capturer.last_converted_pixels();
    if (frame_number == 0) {
      encoder.RequestKeyframe();
    }
    if (!encoder.EncodeCapturedFrame(frame, times.timestamp_us)) {
      continue;
    }
    std::vector<EncodedAccessUnit> units;
    while (encoder.ReceiveAccessUnit(unit)) {
      units.push_back(unit);
    }
    const uint64_t encoded_us = MonotonicMicros();
    times.encode = Ms(captured_us, encoded_us);
    for (const EncodedAccessUnit& out : units) {
      sender.SendVideoFrame(frame_number++, out.timestamp_us, out.keyframe, out.bytes.data(),
                            static_cast<uint32_t>(out.bytes.size()));
    }
    times.sent_us = MonotonicMicros();
    times.send = Ms(encoded_us, times.sent_us);
    if (!units.empty()) {
      frames.push_back(times);
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  receiver.Stop();
  const std::map<uint64_t, uint64_t> receipts = receiver.Receipts();

  std::vector<double> capture, convert, encode, send, receive, total, share;
  for (const FrameTimes& times : frames) {
    const auto receipt = receipts.find(times.timestamp_us);
    if (receipt == receipts.end()) {
      continue;
    }
    capture.push_back(times.capture);
    convert.push_back(times.convert);
    encode.push_back(times.encode);
    send.push_back(times.send);
    receive.push_back(Ms(times.sent_us, receipt->second));
    total.push_back(Ms(times.timestamp_us, receipt->second));
    share.push_back(100.0 * static_cast<double>(times.converted_pixels) / (kWidth * kHeight));
  }
  std::printf(
      "Pipeline stages per frame, 1920x1080 at 60 fps, %s: %zu frames received of %zu sent\n",
      scene.c_str(), total.size(), frames.size());
  const struct {
    const char* name;
    const std::vector<double>& values;
  } rows[] = {
      {"capture (wait for damage + MIT-SHM copy)", capture},
      {"convert (copy rectangles + BGRA->NV12)", convert},
      {"encode (libx264 ultrafast/zerolatency)", encode},
      {"send (fragment + seal + sendto)", send},
      {"client receipt after the last send returned", receive},
      {"capture timestamp -> client receipt", total},
  };
  std::printf("  %-42s %8s %8s\n", "stage (ms)", "p50", "p95");
  for (const auto& row : rows) {
    std::printf("  %-42s %8.2f %8.2f\n", row.name, Percentile(row.values, 50),
                Percentile(row.values, 95));
  }
  std::printf("  share of the screen converted per frame: p50 %.1f %%, p95 %.1f %%\n",
              Percentile(share, 50), Percentile(share, 95));
  StopPlatformRuntime();
  return 0;
}
