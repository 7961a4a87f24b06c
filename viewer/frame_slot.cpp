#include "viewer/frame_slot.h"

#include <SDL_events.h>

extern "C" {
#include <libavutil/frame.h>
}

namespace orvane::viewer {

FrameSlot::FrameSlot(uint32_t wake_event) : wake_event_(wake_event), frame_(av_frame_alloc()) {}

FrameSlot::~FrameSlot() {
  av_frame_free(&frame_);
}

void FrameSlot::Put(const AVFrame* frame, uint64_t host_timestamp_us) {
  {
    std::lock_guard lock(mutex_);
    if (frame_ == nullptr) {
      return;
    }
    av_frame_unref(frame_);
    full_ = av_frame_ref(frame_, frame) == 0;
    host_timestamp_us_ = host_timestamp_us;
  }
  if (wake_event_ != 0) {
    SDL_Event event{};
    event.type = wake_event_;
    SDL_PushEvent(&event);
  }
}

bool FrameSlot::Take(AVFrame* out, uint64_t& host_timestamp_us) {
  std::lock_guard lock(mutex_);
  if (!full_) {
    return false;
  }
  av_frame_unref(out);
  av_frame_move_ref(out, frame_);
  full_ = false;
  host_timestamp_us = host_timestamp_us_;
  return true;
}

}  // namespace orvane::viewer
