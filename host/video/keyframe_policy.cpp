#include "video/keyframe_policy.h"

#include <algorithm>
#include <utility>

namespace orvane {

KeyframePolicy::KeyframePolicy(MicrosClock now_us)
    : now_us_(std::move(now_us)), start_us_(now_us_()) {}

bool KeyframePolicy::InWarmup() const {
  return now_us_() - start_us_ <= kWarmupUs;
}

FramePlan KeyframePolicy::PlanFrame(uint64_t frame_number, bool client_requested,
                                    uint32_t abr_kbps) {
  const bool warmup = InWarmup();
  // The first three frames are forced even after warm-up: a capture that only starts
  // working late still opens the stream with keyframes.
  const bool opening = frame_number >= 1 && frame_number <= 3;
  const bool warmup_cadence =
      warmup && frame_number >= 1 && (frame_number - 1) % kWarmupKeyframeSpacing == 0;

  FramePlan plan;
  plan.force_keyframe = opening || warmup_cadence || client_requested;
  plan.duplicate_keyframes = warmup || client_requested;
  plan.bitrate_kbps = warmup ? std::min(abr_kbps, kWarmupBitrateCapKbps) : abr_kbps;
  plan.bitrate_changed = applied_kbps_ != plan.bitrate_kbps;
  applied_kbps_ = plan.bitrate_kbps;
  return plan;
}

SendOutcome SendAccessUnit(const FramePlan& plan, bool keyframe, uint64_t& frame_counter,
                           const SendNumberedUnit& send) {
  SendOutcome outcome;
  for (uint32_t copy = 0; copy < plan.CopiesOf(keyframe); ++copy) {
    if (send(frame_counter++)) {
      ++outcome.sent;
    } else {
      ++outcome.failed;
    }
  }
  return outcome;
}

}  // namespace orvane
