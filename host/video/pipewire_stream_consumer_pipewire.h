#pragma once

#include <pipewire/pipewire.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "video/captured_frame.h"
#include "video/nv12_converter.h"
#include "video/stream_cursor_source.h"
#include "video/stream_pixel_format.h"

namespace orvane {

// Receives a screen-cast video stream from a PipeWire node in shared memory and keeps the
// desktop's picture from it. Producers send a buffer only when the screen changed, with
// the changed rectangles as damage metadata: only those are copied into the kept image
// and converted to NV12, so cost follows change as with X11 DAMAGE. The cursor arrives
// as metadata and goes to a StreamCursorFeed; buffers flagged corrupted are dropped (the
// next good one is copied whole, since its damage is relative to the dropped one); a new
// size from the producer renegotiates the buffers. PipeWire runs the stream on a thread of
// its own; Capture takes what arrived, on the caller's thread.
class PipeWireStreamConsumer {
 public:
  explicit PipeWireStreamConsumer(std::shared_ptr<StreamCursorFeed> cursor);
  ~PipeWireStreamConsumer();
  PipeWireStreamConsumer(const PipeWireStreamConsumer&) = delete;
  PipeWireStreamConsumer& operator=(const PipeWireStreamConsumer&) = delete;

  // Connects through `fd`, a connection to a PipeWire daemon (taken over, closed by the
  // consumer), or with `fd` -1 to the session's default daemon, to the video node
  // `node_id`. With a wanted size (0: any), only that size is accepted: a producer that
  // takes any size, as a virtual monitor does, sends it. False when PipeWire cannot start
  // or the connection is refused.
  bool Open(int fd, uint32_t node_id, uint32_t wanted_width = 0, uint32_t wanted_height = 0);

  // Waits at most `wait_ms` for buffers and applies those that came. FrameReady with the
  // kept picture when something changed, NoNewFrame when nothing did (the picture stays
  // as it was), Invalidated when the stream or the daemon is gone.
  CapturedFrame Capture(uint32_t wait_ms);

  void Close();

  // What the last ready frame converted to NV12, in pixels.
  uint64_t last_converted_pixels() const { return last_converted_pixels_; }
  // The rectangles the last ready frame changed.
  const std::vector<PixelRect>& last_changed_rects() const { return last_changed_; }
  // Whether the stream is linked and running (PipeWire's streaming state).
  bool streaming() const { return streaming_.load(); }
  // Buffers dropped as corrupted since Open.
  uint64_t dropped_buffers() const { return dropped_buffers_; }

 private:
  struct Negotiated {
    StreamPixelFormat format = StreamPixelFormat::kBgrx;
    uint32_t width = 0;
    uint32_t height = 0;
  };

  static void OnStateChanged(void* self, pw_stream_state old, pw_stream_state state,
                             const char* error);
  static void OnParamChanged(void* self, uint32_t id, const spa_pod* param);
  static void OnProcess(void* self);
  static void OnCoreError(void* self, uint32_t id, int seq, int res, const char* message);
  static void OnGlobalRemoved(void* self, uint32_t id);

  void MarkLost();
  // Runs under the loop's lock: what one buffer brings into the kept image.
  void ApplyBuffer(pw_buffer* buffer, bool& whole, std::vector<PixelRect>& changed);
  bool CopyPixels(const spa_buffer& buffer, bool& whole, std::vector<PixelRect>& changed);
  void ConvertChanged(bool whole, const std::vector<PixelRect>& changed);

  const std::shared_ptr<StreamCursorFeed> cursor_;
  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  // Tells when the producer's node goes away: its stream then only stops delivering.
  pw_registry* registry_ = nullptr;
  uint32_t node_id_ = 0;
  spa_hook core_listener_{};
  spa_hook stream_listener_{};
  spa_hook registry_listener_{};

  std::mutex mutex_;
  std::condition_variable wake_;
  bool buffers_waiting_ = false;
  bool lost_ = false;
  std::atomic<bool> streaming_{false};

  // Written by the loop's thread under its lock, read by Capture under it.
  std::optional<Negotiated> negotiated_;

  // The kept picture, BGRA and NV12, at the size of the last buffer copied.
  std::vector<uint8_t> image_;
  std::vector<uint8_t> nv12_;
  uint32_t image_width_ = 0;
  uint32_t image_height_ = 0;
  // The next buffer must be copied whole: there is no complete picture yet, or the last
  // buffer was dropped.
  bool need_whole_ = true;
  std::vector<PixelRect> last_changed_;
  uint64_t last_converted_pixels_ = 0;
  uint64_t dropped_buffers_ = 0;
};

}  // namespace orvane
