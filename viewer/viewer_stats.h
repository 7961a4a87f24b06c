#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "client/delay_samples.h"

namespace orvane::viewer {

// What the viewer received, decoded and showed, counted from the media thread and the
// window's thread, and summed up once a second for the overlay.
class ViewerStats {
 public:
  using Clock = std::chrono::steady_clock;

  void OnFrameReceived(size_t bytes);
  void OnFramesLost(uint64_t count);
  void OnDecoded(std::chrono::microseconds took);
  void OnKeyframeRequested();
  // `capture_to_present_us` is nullopt while the host's clock is not known here.
  void OnPresented(std::optional<int64_t> capture_to_present_us);

  // Closes the period when a second has passed since the last one.
  void Tick(Clock::time_point now);
  // The overlay's lines for the last whole period.
  std::vector<std::string> Lines() const;
  // The whole run's capture-to-present delays and counts, for the summary at the end.
  std::string Summary() const;

 private:
  struct Counts {
    uint64_t received = 0;
    uint64_t bytes = 0;
    uint64_t lost = 0;
    uint64_t decoded = 0;
    uint64_t decode_us = 0;
    uint64_t presented = 0;
    uint64_t keyframe_requests = 0;
  };

  mutable std::mutex mutex_;
  Counts total_;
  Counts period_start_;
  client::DelaySamples period_latency_;
  client::DelaySamples all_latency_;
  std::optional<Clock::time_point> period_began_;
  std::vector<std::string> lines_{"collecting statistics..."};
};

}  // namespace orvane::viewer
