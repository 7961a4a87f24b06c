#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/clock.h"

namespace orvane {

// Turns the client's reports of round-trip time and packet loss into a video bitrate:
// multiplicative decrease on loss, additive increase while the path is clean, and a
// fixed hold between decisions so that each change can show in the next reports.
class AbrController {
 public:
  static constexpr uint32_t kInitialKbps = 8000;
  static constexpr uint32_t kMinKbps = 1000;
  static constexpr uint32_t kMaxKbps = 50000;
  static constexpr float kHighLossPct = 2.0f;
  static constexpr float kLowLossPct = 0.5f;
  static constexpr float kDecreaseFactor = 0.7f;
  static constexpr uint32_t kIncreaseStepKbps = 500;
  static constexpr float kMaxRttMs = 100.0f;
  static constexpr uint64_t kHoldNs = 2000000000;

  using NanosClock = std::function<uint64_t()>;

  explicit AbrController(NanosClock now_ns = MonotonicNanos);

  // Evaluates one client report; returns the new bitrate in kbps, or 0 when it stays.
  // Reports within 2 s of the last evaluated one are ignored without being looked at.
  uint32_t Update(float rtt_ms, float packet_loss_pct);

  // Stands the controller at the negotiated bitrate (stream start, quality change).
  void Reset(uint32_t kbps);

  // Lock-free: the frame loop reads it for every frame.
  uint32_t current_kbps() const { return current_kbps_.load(std::memory_order_relaxed); }

 private:
  NanosClock now_ns_;
  std::mutex mutex_;
  std::atomic<uint32_t> current_kbps_{kInitialKbps};
  std::optional<uint64_t> last_decision_ns_;
};

}  // namespace orvane
