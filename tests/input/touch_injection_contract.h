#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "input/input_sink.h"

namespace orvane::testing {

// What Microsoft documents for InjectTouchInput, checked frame by frame: a frame holds
// every contact on the desktop (one that leaves an active contact out is rejected and
// cancels the contacts), each contact exactly once with exactly one of DOWN, UPDATE and
// UP; DOWN only for a new contact, UPDATE and UP only for an active one; an UP at
// another position than the contact's last frame is rejected (ERROR_INVALID_PARAMETER)
// and cancels every active contact; positions lie on the desktop; and the system cancels
// a contact that got no frame for 100 ms. It also keeps what the system made of the
// frames, stroke by stroke.
class TouchInjectionContract {
 public:
  static constexpr std::chrono::milliseconds kContactTimeout{100};

  struct Point {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Point&) const = default;
  };
  // One finger from touch-down to its end.
  struct Stroke {
    uint32_t id = 0;
    std::vector<Point> path;  // every position of every frame, repeats included
    std::chrono::milliseconds down_at{0};
    std::chrono::milliseconds ended_at{0};
    bool ended = false;
    bool cancelled = false;  // by the injector (CANCELED) or by the system
  };

  TouchInjectionContract(DesktopRect desktop, uint32_t max_contacts)
      : desktop_(desktop), max_contacts_(max_contacts) {}

  // One InjectTouchInput call at `now`; false when the system rejects it.
  bool Frame(std::span<const TouchContact> frame, std::chrono::milliseconds now);

  const std::vector<Stroke>& strokes() const { return strokes_; }
  // Why frames were rejected or contacts cancelled, in order.
  const std::vector<std::string>& faults() const { return faults_; }

 private:
  Stroke* Active(uint32_t id);
  bool Reject(const std::string& why, bool cancels, std::chrono::milliseconds now);
  void CancelAll(std::chrono::milliseconds now);

  const DesktopRect desktop_;
  const uint32_t max_contacts_;
  std::vector<Stroke> strokes_;
  // When each active contact's last frame came, by stroke index.
  std::vector<std::pair<size_t, std::chrono::milliseconds>> active_;
  std::vector<std::string> faults_;
};

}  // namespace orvane::testing
