#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

#include "client/delay_samples.h"

namespace orvane::client {

// What a decoding client does after a loss: once a frame is lost the pictures after it
// cannot be decoded, so it asks the host for a keyframe, asks again every `retry` until
// one arrives, and then decodes on. Counts the requests, how soon the host answered (the
// first datagram of a keyframe) and how soon the picture recovered (a whole keyframe).
//
// The media thread reports what arrives; the control thread asks whether to send a
// request. Both may call at once.
class KeyframeRecovery {
 public:
  using Clock = std::chrono::steady_clock;

  explicit KeyframeRecovery(std::chrono::milliseconds retry) : retry_(retry) {}

  void OnFrameLost(Clock::time_point now);
  // The first fragment of a keyframe, whole or not.
  void OnKeyframeStarted(Clock::time_point now);
  void OnKeyframeComplete(Clock::time_point now);
  // True when a request is due now; the caller sends it.
  bool TakeRequestDue(Clock::time_point now);

  struct Summary {
    uint64_t requests = 0;
    uint64_t losses = 0;       // losses that left the picture broken
    uint64_t answered = 0;     // losses after which a keyframe started to arrive
    uint64_t recovered = 0;    // losses after which a whole keyframe arrived
    DelaySamples answer_us;    // first request to the first keyframe datagram
    DelaySamples recovery_us;  // loss to the whole keyframe
  };
  Summary summary() const;

 private:
  const std::chrono::milliseconds retry_;
  mutable std::mutex mutex_;
  Summary summary_;
  std::optional<Clock::time_point> broken_since_;
  std::optional<Clock::time_point> first_request_;
  std::optional<Clock::time_point> last_request_;
  bool answered_ = false;
};

}  // namespace orvane::client
