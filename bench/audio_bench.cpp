// The audio pipeline's CPU time per second of 48 kHz stereo sound, capture excluded (a
// bench capture hands over ready 10 ms blocks): encoding with libopus in 20 ms frames and
// sending each packet sealed to a loopback UDP socket. Anchors, on the same PCM with the
// same settings (64 kbps, constrained VBR): libopus called directly, and the opusenc
// command reading the PCM from a file (its CPU time as a child process, start-up
// included). Every benchmark counts seconds of sound as its items.
#include <benchmark/benchmark.h>
#include <opus/opus.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "audio/audio_pipeline.h"
#include "base/logger.h"
#include "net/udp_media_sender.h"
#include "platform/platform_runtime.h"
#include "platform/socket.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kSeconds = 5;
constexpr uint32_t kBlockFrames = kRate / 100;
const std::vector<uint8_t> kSessionKey(32, 0x3C);

// Five seconds of something like music: a few partials moving in level, and some noise.
const std::vector<int16_t>& Pcm() {
  static const std::vector<int16_t> pcm = [] {
    std::vector<int16_t> samples(size_t{kRate} * kSeconds * kChannels);
    uint32_t noise = 12345;
    for (size_t frame = 0; frame < samples.size() / kChannels; ++frame) {
      const double t = static_cast<double>(frame) / kRate;
      const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 0.5 * t);
      double value = 0;
      for (double partial : {220.0, 330.0, 440.0, 1250.0, 3100.0}) {
        value += std::sin(2 * std::numbers::pi * partial * t) * 220.0 / partial;
      }
      for (uint32_t channel = 0; channel < kChannels; ++channel) {
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 16) / 65536.0 - 0.5) * 0.02;
        samples[frame * kChannels + channel] =
            static_cast<int16_t>((0.25 * swell * value + hiss) * 32767.0);
      }
    }
    return samples;
  }();
  return pcm;
}

void CountSeconds(benchmark::State& state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kSeconds));
}

// Hands the pipeline the PCM in 10 ms blocks as fast as it takes them.
class BenchCapture : public orvane::LoopbackAudioCapture {
 public:
  bool Initialize() override { return true; }
  bool Start(orvane::PcmCallback callback) override {
    callback_ = std::move(callback);
    return true;
  }
  void Stop() override { callback_ = nullptr; }
  uint32_t sample_rate() const override { return kRate; }
  uint32_t channels() const override { return kChannels; }
  orvane::Status LastStatus() const override { return {}; }

  void DeliverAll(uint64_t& timestamp_us) {
    const std::vector<int16_t>& pcm = Pcm();
    for (size_t at = 0; at < pcm.size(); at += kBlockFrames * kChannels) {
      callback_(pcm.data() + at, kBlockFrames, kChannels, timestamp_us);
      timestamp_us += 10000;
    }
  }

 private:
  orvane::PcmCallback callback_;
};

void Pipeline(benchmark::State& state) {
  // Nothing reads this socket: the kernel drops what does not fit, at the sender's cost.
  const orvane::SocketHandle sink = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  bind(sink, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  getsockname(sink, reinterpret_cast<sockaddr*>(&address), &size);
  orvane::UdpMediaSender sender;
  sender.Open();
  sender.SetRemote("127.0.0.1", ntohs(address.sin_port));
  sender.SetSessionKey(kSessionKey);

  BenchCapture* capture = nullptr;
  orvane::AudioPipeline pipeline(
      [&capture]() -> std::unique_ptr<orvane::LoopbackAudioCapture> {
        auto made = std::make_unique<BenchCapture>();
        capture = made.get();
        return made;
      },
      {});
  pipeline.Initialize();
  std::atomic<bool> streaming{true};
  pipeline.Start(
      true,
      [&sender](uint32_t sequence, uint64_t timestamp_us, uint8_t duration_ms, const uint8_t* data,
                uint32_t bytes) {
        sender.SendAudioPacket(sequence, timestamp_us, duration_ms, data, bytes);
      },
      streaming);
  uint64_t timestamp_us = 1000000;
  for (auto _ : state) {
    capture->DeliverAll(timestamp_us);
  }
  pipeline.Stop();
  orvane::CloseSocket(sink);
  state.SetLabel("ours: pipeline, sealed send");
  CountSeconds(state);
}

void Libopus(benchmark::State& state) {
  int error = 0;
  OpusEncoder* encoder = opus_encoder_create(kRate, kChannels, OPUS_APPLICATION_AUDIO, &error);
  opus_encoder_ctl(encoder, OPUS_SET_BITRATE(64000));
  opus_encoder_ctl(encoder, OPUS_SET_VBR(1));
  opus_encoder_ctl(encoder, OPUS_SET_VBR_CONSTRAINT(1));
  const std::vector<int16_t>& pcm = Pcm();
  unsigned char packet[1500];
  for (auto _ : state) {
    for (size_t at = 0; at < pcm.size(); at += size_t{kRate / 50} * kChannels) {
      benchmark::DoNotOptimize(
          opus_encode(encoder, pcm.data() + at, kRate / 50, packet, sizeof(packet)));
    }
  }
  opus_encoder_destroy(encoder);
  state.SetLabel("libopus alone");
  CountSeconds(state);
}

// The opusenc command on the same PCM; its CPU time as a child is the iteration's time.
void Opusenc(benchmark::State& state) {
  const std::filesystem::path raw =
      std::filesystem::temp_directory_path() / ("orvane-audio-bench-" + std::to_string(getpid()));
  {
    std::ofstream out(raw, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Pcm().data()),
              static_cast<std::streamsize>(Pcm().size() * sizeof(int16_t)));
  }
  const std::string input = raw.string();
  for (auto _ : state) {
    const pid_t child = fork();
    if (child == 0) {
      execlp("opusenc", "opusenc", "--quiet", "--raw", "--raw-rate", "48000", "--raw-chan", "2",
             "--bitrate", "64", "--cvbr", input.c_str(), "/dev/null", static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("opusenc failed (is opus-tools installed?)");
      break;
    }
    const auto seconds = [](const timeval& time) {
      return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    state.SetIterationTime(seconds(usage.ru_utime) + seconds(usage.ru_stime));
  }
  std::filesystem::remove(raw);
  state.SetLabel("opusenc command");
  CountSeconds(state);
}

}  // namespace

int main(int argc, char** argv) {
  if (!orvane::StartPlatformRuntime().ok()) {
    return 1;
  }
  // The report goes to standard output.
  orvane::Logger::Instance().SetConsoleStream(stderr);
  benchmark::AddCustomContext("subject",
                              "Audio: 48 kHz stereo to Opus at 64 kbps, per second of sound");
  benchmark::RegisterBenchmark("ours", Pipeline);
  benchmark::RegisterBenchmark("libopus", Libopus);
  benchmark::RegisterBenchmark("opusenc", Opusenc)->UseManualTime();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  orvane::StopPlatformRuntime();
  return 0;
}
