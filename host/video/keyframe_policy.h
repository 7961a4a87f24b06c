#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/clock.h"

namespace orvane {

// What one encoded frame gets: whether the encoder must produce a keyframe, whether the
// keyframes it drains are sent twice, and the bitrate to encode at.
struct FramePlan {
  bool force_keyframe = false;
  bool duplicate_keyframes = false;
  uint32_t bitrate_kbps = 0;
  // The bitrate differs from the one the previous plan applied (always true at first).
  bool bitrate_changed = false;

  // How many times an access unit goes out under this plan.
  uint32_t CopiesOf(bool keyframe) const { return keyframe && duplicate_keyframes ? 2 : 1; }
};

// Keyframe and bitrate decisions of one stream. During the first 8 s a client is still
// building its decoder and its picture of the link, so keyframes come often and twice
// (a lost datagram costs one copy, not the picture) and the bitrate is held low.
class KeyframePolicy {
 public:
  static constexpr uint64_t kWarmupUs = 8000000;
  static constexpr uint32_t kWarmupBitrateCapKbps = 1200;
  static constexpr uint64_t kWarmupKeyframeSpacing = 15;

  using MicrosClock = std::function<uint64_t()>;

  // The warm-up starts now: create the policy when the stream's capture has been set up.
  explicit KeyframePolicy(MicrosClock now_us = MonotonicMicros);

  bool InWarmup() const;

  // frame_number counts captured frames from 1; client_requested is the client's
  // keyframe request taken for this frame; abr_kbps is the bitrate controller's value.
  FramePlan PlanFrame(uint64_t frame_number, bool client_requested, uint32_t abr_kbps);

 private:
  MicrosClock now_us_;
  uint64_t start_us_;
  std::optional<uint32_t> applied_kbps_;
};

struct SendOutcome {
  uint32_t sent = 0;
  uint32_t failed = 0;
};

// Sends one access unit as many times as the plan says, each copy under its own number
// taken from frame_counter (which advances per copy), so the client's reassembly never
// mistakes a duplicate for a fragment of the first.
using SendNumberedUnit = std::function<bool(uint64_t frame_number)>;
SendOutcome SendAccessUnit(const FramePlan& plan, bool keyframe, uint64_t& frame_counter,
                           const SendNumberedUnit& send);

}  // namespace orvane
