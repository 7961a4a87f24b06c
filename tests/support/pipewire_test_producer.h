#pragma once

#include <pipewire/pipewire.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane::testing {

// One rectangle of a producer's damage list.
struct ProducerRect {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

struct ProducerCursor {
  int32_t x = 0;
  int32_t y = 0;
  // Id 0: no cursor over the stream.
  uint32_t id = 1;
  int32_t hotspot_x = 0;
  int32_t hotspot_y = 0;
  // ARGB pixels of an image that changed with this buffer, or none.
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> argb;
};

// What one buffer carries.
struct ProducerBuffer {
  // The whole picture, BGRx, width * 4 bytes a row.
  std::vector<uint8_t> bgrx;
  std::vector<ProducerRect> damage;
  std::optional<ProducerCursor> cursor;
  bool corrupted = false;
  // A buffer with metadata and no picture, as desktops send when only the cursor moved.
  bool metadata_only = false;
};

// A screen-cast producer as a desktop runs one: a PipeWire video source node that drives
// itself, sends BGRx pictures in shared memory only when told to, with damage and cursor
// metadata, and can change its size. Runs its own PipeWire thread.
class PipeWireTestProducer {
 public:
  // Connects through `fd` (taken over) to the daemon. With `any_size` the producer offers
  // width x height first but takes any size a consumer asks for, as a virtual monitor
  // does; width() and height() follow the negotiation.
  PipeWireTestProducer(int fd, uint32_t width, uint32_t height, bool any_size = false);
  ~PipeWireTestProducer();
  PipeWireTestProducer(const PipeWireTestProducer&) = delete;
  PipeWireTestProducer& operator=(const PipeWireTestProducer&) = delete;

  // The node's id once the daemon made it, or nothing.
  std::optional<uint32_t> NodeId(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Waits until a consumer is linked and the stream runs at the current size, with buffers
  // that carry damage and cursor metadata (the consumer asked for them).
  bool WaitStreaming(std::chrono::milliseconds limit = std::chrono::seconds(15));
  // Sends one buffer at the current size; false when no buffer came free in time.
  bool Send(const ProducerBuffer& buffer);
  // Offers a new size; the stream renegotiates (WaitStreaming waits for it).
  void Resize(uint32_t width, uint32_t height);

  uint32_t width() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return width_;
  }
  uint32_t height() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return height_;
  }

 private:
  static void OnParamChanged(void* self, uint32_t id, const spa_pod* param);
  static void OnStateChanged(void* self, pw_stream_state old, pw_stream_state state,
                             const char* error);
  static void OnAddBuffer(void* self, pw_buffer* buffer);
  // A graph cycle starts.
  static void OnProcess(void* self);
  static void OnRemoveBuffer(void* self, pw_buffer* buffer);
  static bool HasMetadata(const pw_buffer* buffer);
  // Under the loop's lock, with the negotiated size.
  void Fill(pw_buffer* buffer, const ProducerBuffer& frame);

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  spa_hook listener_{};
  const bool any_size_;
  uint32_t width_;
  uint32_t height_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool streaming_ = false;
  uint32_t negotiated_width_ = 0;
  uint32_t negotiated_height_ = 0;
  uint64_t cycles_ = 0;
  int buffers_with_metadata_ = 0;
  int buffers_without_metadata_ = 0;
};

// A connection to the PipeWire daemon listening on `socket`, as a descriptor; -1 on failure.
int ConnectPipeWireSocket(const char* socket);

// A BGRx picture whose every pixel differs from its neighbours, changing with `seed`.
std::vector<uint8_t> PatternPicture(uint32_t width, uint32_t height, uint8_t seed);
// A black BGRx desktop with an orange block in its middle third of the height and the
// columns from 100 to 220 (for a 320 x 240 desktop, the middle).
std::vector<uint8_t> OrangeBlockPicture(uint32_t width, uint32_t height);

}  // namespace orvane::testing
