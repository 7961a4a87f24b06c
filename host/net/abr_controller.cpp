#include "net/abr_controller.h"

#include <algorithm>
#include <utility>

#include "base/logger.h"

namespace orvane {

AbrController::AbrController(NanosClock now_ns) : now_ns_(std::move(now_ns)) {}

void AbrController::Reset(uint32_t kbps) {
  std::lock_guard<std::mutex> lock(mutex_);
  current_kbps_.store(kbps, std::memory_order_relaxed);
}

uint32_t AbrController::Update(float rtt_ms, float packet_loss_pct) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t now = now_ns_();
  if (last_decision_ns_ && now - *last_decision_ns_ < kHoldNs) {
    return 0;
  }
  last_decision_ns_ = now;
  const uint32_t old = current_kbps_.load(std::memory_order_relaxed);
  // 64 bits: a negotiated bitrate near the top of the range must not wrap on increase.
  uint64_t proposed = 0;
  // Strict comparisons: a NaN loss or round-trip time neither decreases nor increases.
  if (packet_loss_pct > kHighLossPct) {
    // In single precision 5600 × 0.7f rounds to exactly 3920; in double it truncates to 3919.
    const float scaled = static_cast<float>(old) * kDecreaseFactor;
    proposed = static_cast<uint64_t>(scaled);
    LOG_WARN("[ABR] High packet loss (%.1f%%) -- decreasing bitrate %u -> %u kbps", packet_loss_pct,
             old, static_cast<unsigned>(proposed));
  } else if (packet_loss_pct < kLowLossPct && rtt_ms < kMaxRttMs) {
    proposed = uint64_t{old} + kIncreaseStepKbps;
    LOG_INFO("[ABR] Low loss (%.1f%%), RTT=%.0fms -- increasing bitrate %u -> %llu kbps",
             packet_loss_pct, rtt_ms, old, static_cast<unsigned long long>(proposed));
  } else {
    return 0;
  }
  const uint32_t clamped =
      static_cast<uint32_t>(std::clamp<uint64_t>(proposed, kMinKbps, kMaxKbps));
  current_kbps_.store(clamped, std::memory_order_relaxed);
  return clamped == old ? 0 : clamped;
}

}  // namespace orvane
