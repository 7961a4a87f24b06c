// A Wayland desktop's screen cast for bench/pipewire_bench.sh: a private PipeWire daemon
// (with its session manager and session bus), a ScreenCast portal on that bus and a
// producer sharing a 1920x1080 screen through it. The screen shows what screen_animator's
// "whole" workload shows on X11: a backdrop changing colour every tick with a block
// sliding across it, every buffer's damage covering the whole screen.
//
//   SIGUSR1  the screen changes at 60 fps
//   SIGUSR2  the screen stands still: a desktop sends nothing then, apart from one picture
//            to each newly linked consumer
//   SIGTERM  stops everything
//
// Usage: pipewire_screen_source FOLDER   (prints "bus=ADDRESS" then "ready" on stdout)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "integration/fake_portal.h"
#include "integration/pipewire_daemon.h"
#include "support/pipewire_test_producer.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr uint32_t kBlock = kHeight / 4;

volatile std::sig_atomic_t g_running = 1;
volatile std::sig_atomic_t g_changing = 0;

void Stop(int) {
  g_running = 0;
}
void StartChanging(int) {
  g_changing = 1;
}
void StandStill(int) {
  g_changing = 0;
}

void Paint(std::vector<uint8_t>& bgrx, uint32_t tick) {
  const uint32_t shade = (tick * 4) & 0xFF;
  const uint32_t rgb = (shade << 16) | ((255 - shade) << 8) | ((shade * 3) & 0xFF);
  const uint32_t block_x = (tick * 16) % (kWidth - kBlock);
  const uint32_t block_y = (tick * 9) % (kHeight - kBlock);
  auto* pixels = reinterpret_cast<uint32_t*>(bgrx.data());
  std::fill(pixels, pixels + size_t{kWidth} * kHeight, rgb);
  for (uint32_t y = block_y; y < block_y + kBlock; ++y) {
    std::fill(pixels + size_t{y} * kWidth + block_x, pixels + size_t{y} * kWidth + block_x + kBlock,
              0xFFFFFFu);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvane::testing;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  std::signal(SIGTERM, Stop);
  std::signal(SIGINT, Stop);
  std::signal(SIGUSR1, StartChanging);
  std::signal(SIGUSR2, StandStill);

  const std::filesystem::path folder = argv[1];
  PipeWireDaemon daemon(folder / "pipewire");
  if (!daemon.started()) {
    std::fprintf(stderr, "pipewire_screen_source: the PipeWire daemon did not start\n");
    return 1;
  }
  PipeWireTestProducer producer(daemon.Connect(), kWidth, kHeight);
  const std::optional<uint32_t> node = producer.NodeId();
  if (!node) {
    std::fprintf(stderr, "pipewire_screen_source: the producer has no node\n");
    return 1;
  }
  FakePortal portal(daemon.bus_address(), daemon.socket_path(), *node);
  if (!portal.ready()) {
    std::fprintf(stderr, "pipewire_screen_source: the portal is not on the bus\n");
    return 1;
  }
  std::printf("bus=%s\nready\n", daemon.bus_address().c_str());
  std::fflush(stdout);

  ProducerBuffer buffer;
  buffer.bgrx.resize(size_t{kWidth} * kHeight * 4);
  buffer.damage = {{0, 0, kWidth, kHeight}};
  uint32_t tick = 0;
  Paint(buffer.bgrx, tick);
  bool linked = false;
  const auto interval = std::chrono::microseconds(1'000'000 / 60);
  auto next = std::chrono::steady_clock::now();
  while (g_running != 0) {
    if (!producer.WaitStreaming(50ms)) {
      linked = false;
      continue;
    }
    if (g_changing == 0) {
      if (!linked) {
        producer.Send(buffer);
        linked = true;
      }
      std::this_thread::sleep_for(20ms);
      next = std::chrono::steady_clock::now();
      continue;
    }
    linked = true;
    Paint(buffer.bgrx, ++tick);
    producer.Send(buffer);
    // A late frame moves the schedule rather than being followed by a burst of catch-up ones.
    next = std::max(next + interval, std::chrono::steady_clock::now());
    std::this_thread::sleep_until(next);
  }
  return 0;
}
