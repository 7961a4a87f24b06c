#pragma once

#include <cstdint>
#include <mutex>

struct AVFrame;

namespace orvane::viewer {

// The newest decoded picture, handed from the media thread to the window's thread. A
// picture not yet shown when the next arrives is replaced: the window shows the latest,
// never a queue of old ones.
class FrameSlot {
 public:
  // `wake_event` is an SDL event type pushed on every new picture, so the window wakes up
  // at once; 0 pushes nothing.
  explicit FrameSlot(uint32_t wake_event);
  ~FrameSlot();
  FrameSlot(const FrameSlot&) = delete;
  FrameSlot& operator=(const FrameSlot&) = delete;

  // Takes a reference to `frame`'s buffers; `host_timestamp_us` is its capture time.
  void Put(const AVFrame* frame, uint64_t host_timestamp_us);
  // Moves the waiting picture into `out` (unreferenced first); false when none waits.
  bool Take(AVFrame* out, uint64_t& host_timestamp_us);

 private:
  const uint32_t wake_event_;
  mutable std::mutex mutex_;
  AVFrame* frame_;
  bool full_ = false;
  uint64_t host_timestamp_us_ = 0;
};

}  // namespace orvane::viewer
