#include "support/pipewire_test_producer.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace orvane::testing {
namespace {

constexpr uint32_t kDamageEntries = 16;
constexpr uint32_t kCursorMetaSize = 28 + 20 + 64 * 64 * 4;

const spa_pod* FormatFor(spa_pod_builder& builder, uint32_t width, uint32_t height, bool any_size) {
  const spa_rectangle size{width, height};
  const spa_rectangle size_min{1, 1};
  const spa_rectangle size_max{8192, 8192};
  const spa_fraction variable{0, 1};
  const spa_fraction rate_default{60, 1};
  const spa_fraction rate_min{1, 1};
  const spa_fraction rate_max{60, 1};
  spa_pod_frame object;
  spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
  spa_pod_builder_add(&builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                      SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
                      SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), 0);
  if (any_size) {
    spa_pod_builder_add(&builder, SPA_FORMAT_VIDEO_size,
                        SPA_POD_CHOICE_RANGE_Rectangle(&size, &size_min, &size_max), 0);
  } else {
    spa_pod_builder_add(&builder, SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), 0);
  }
  spa_pod_builder_add(&builder, SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&variable),
                      SPA_FORMAT_VIDEO_maxFramerate,
                      SPA_POD_CHOICE_RANGE_Fraction(&rate_default, &rate_min, &rate_max), 0);
  return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

}  // namespace

int ConnectPipeWireSocket(const char* socket_path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_path, sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

PipeWireTestProducer::PipeWireTestProducer(int fd, uint32_t width, uint32_t height, bool any_size)
    : any_size_(any_size), width_(width), height_(height) {
  static std::once_flag once;
  std::call_once(once, [] { pw_init(nullptr, nullptr); });
  loop_ = pw_thread_loop_new("test-producer", nullptr);
  context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
  pw_thread_loop_start(loop_);
  pw_thread_loop_lock(loop_);
  core_ = pw_context_connect_fd(context_, fd, nullptr, 0);
  if (core_ != nullptr) {
    stream_ = pw_stream_new(core_, "orvane-test-screen",
                            pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE,
                                              "Video", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    static const pw_stream_events events = [] {
      pw_stream_events e{};
      e.version = PW_VERSION_STREAM_EVENTS;
      e.param_changed = OnParamChanged;
      e.state_changed = OnStateChanged;
      e.add_buffer = OnAddBuffer;
      e.process = OnProcess;
      e.remove_buffer = OnRemoveBuffer;
      return e;
    }();
    pw_stream_add_listener(stream_, &listener_, &events, this);
    uint8_t storage[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    const spa_pod* params[] = {FormatFor(builder, width, height, any_size_)};
    pw_stream_connect(
        stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
        1);
  }
  pw_thread_loop_unlock(loop_);
}

PipeWireTestProducer::~PipeWireTestProducer() {
  pw_thread_loop_lock(loop_);
  if (stream_ != nullptr) {
    spa_hook_remove(&listener_);
    pw_stream_destroy(stream_);
  }
  if (core_ != nullptr) {
    pw_core_disconnect(core_);
  }
  pw_thread_loop_unlock(loop_);
  pw_thread_loop_stop(loop_);
  pw_context_destroy(context_);
  pw_thread_loop_destroy(loop_);
}

std::optional<uint32_t> PipeWireTestProducer::NodeId(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    pw_thread_loop_lock(loop_);
    const uint32_t id = stream_ != nullptr ? pw_stream_get_node_id(stream_) : SPA_ID_INVALID;
    pw_thread_loop_unlock(loop_);
    if (id != SPA_ID_INVALID) {
      return id;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

bool PipeWireTestProducer::WaitStreaming(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [this] {
    return streaming_ && negotiated_width_ == width_ && negotiated_height_ == height_ &&
           buffers_with_metadata_ > 0 && buffers_without_metadata_ == 0;
  });
}

void PipeWireTestProducer::Resize(uint32_t width, uint32_t height) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    width_ = width;
    height_ = height;
  }
  pw_thread_loop_lock(loop_);
  uint8_t storage[512];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
  const spa_pod* params[] = {FormatFor(builder, width, height, any_size_)};
  pw_stream_update_params(stream_, params, 1);
  pw_thread_loop_unlock(loop_);
}

bool PipeWireTestProducer::Send(const ProducerBuffer& buffer) {
  // As a desktop does: fill a free buffer, queue it, and run a graph cycle to deliver it.
  // Until the consumer gives buffers back there may be none free.
  uint64_t queued_before_cycle = 0;
  bool queued = false;
  for (int attempt = 0; attempt < 500 && !queued; ++attempt) {
    pw_thread_loop_lock(loop_);
    if (pw_buffer* free_buffer = pw_stream_dequeue_buffer(stream_)) {
      Fill(free_buffer, buffer);
      pw_stream_queue_buffer(stream_, free_buffer);
      // No cycle starts while the loop is locked: the next one to start takes the buffer.
      std::lock_guard<std::mutex> lock(mutex_);
      queued_before_cycle = cycles_;
      queued = true;
    }
    pw_thread_loop_unlock(loop_);
    if (!queued) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  if (!queued) {
    return false;
  }
  // A trigger while a cycle still runs starts none; trigger until one has started.
  for (int attempt = 0; attempt < 100; ++attempt) {
    pw_thread_loop_lock(loop_);
    pw_stream_trigger_process(stream_);
    pw_thread_loop_unlock(loop_);
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, std::chrono::milliseconds(50),
                          [&] { return cycles_ > queued_before_cycle; })) {
      return true;
    }
  }
  return false;
}

void PipeWireTestProducer::OnProcess(void* self) {
  auto* producer = static_cast<PipeWireTestProducer*>(self);
  std::lock_guard<std::mutex> lock(producer->mutex_);
  ++producer->cycles_;
  producer->changed_.notify_all();
}

void PipeWireTestProducer::OnStateChanged(void* self, pw_stream_state, pw_stream_state state,
                                          const char*) {
  auto* producer = static_cast<PipeWireTestProducer*>(self);
  std::lock_guard<std::mutex> lock(producer->mutex_);
  producer->streaming_ = state == PW_STREAM_STATE_STREAMING;
  producer->changed_.notify_all();
}

bool PipeWireTestProducer::HasMetadata(const pw_buffer* buffer) {
  return spa_buffer_find_meta(buffer->buffer, SPA_META_VideoDamage) != nullptr &&
         spa_buffer_find_meta(buffer->buffer, SPA_META_Cursor) != nullptr;
}

void PipeWireTestProducer::OnAddBuffer(void* self, pw_buffer* buffer) {
  auto* producer = static_cast<PipeWireTestProducer*>(self);
  std::lock_guard<std::mutex> lock(producer->mutex_);
  ++(HasMetadata(buffer) ? producer->buffers_with_metadata_ : producer->buffers_without_metadata_);
  producer->changed_.notify_all();
}

void PipeWireTestProducer::OnRemoveBuffer(void* self, pw_buffer* buffer) {
  auto* producer = static_cast<PipeWireTestProducer*>(self);
  std::lock_guard<std::mutex> lock(producer->mutex_);
  --(HasMetadata(buffer) ? producer->buffers_with_metadata_ : producer->buffers_without_metadata_);
  producer->changed_.notify_all();
}

void PipeWireTestProducer::OnParamChanged(void* self, uint32_t id, const spa_pod* param) {
  auto* producer = static_cast<PipeWireTestProducer*>(self);
  if (id != SPA_PARAM_Format || param == nullptr) {
    return;
  }
  spa_video_info_raw raw{};
  if (spa_format_video_raw_parse(param, &raw) < 0) {
    return;
  }
  const int32_t stride = static_cast<int32_t>(raw.size.width * 4);
  uint8_t storage[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
  const spa_pod* params[] = {
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
          SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
          SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * static_cast<int32_t>(raw.size.height)),
          SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
          SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
          SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
          SPA_POD_Int(static_cast<int32_t>(sizeof(spa_meta_header))))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
          SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
          SPA_POD_CHOICE_RANGE_Int(
              static_cast<int32_t>(sizeof(spa_meta_region) * kDamageEntries),
              static_cast<int32_t>(sizeof(spa_meta_region)),
              static_cast<int32_t>(sizeof(spa_meta_region) * kDamageEntries)))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
          SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
          SPA_POD_CHOICE_RANGE_Int(static_cast<int32_t>(kCursorMetaSize), 28 + 20 + 4,
                                   static_cast<int32_t>(28 + 20 + 256 * 256 * 4)))),
  };
  pw_stream_update_params(producer->stream_, params, 4);
  std::lock_guard<std::mutex> lock(producer->mutex_);
  producer->negotiated_width_ = raw.size.width;
  if (producer->any_size_) {
    producer->width_ = raw.size.width;
    producer->height_ = raw.size.height;
  }
  producer->negotiated_height_ = raw.size.height;
  producer->changed_.notify_all();
}

void PipeWireTestProducer::Fill(pw_buffer* buffer, const ProducerBuffer& frame) {
  spa_buffer& spa = *buffer->buffer;
  spa_data& data = spa.datas[0];
  const uint32_t stride = negotiated_width_ * 4;
  const size_t bytes = size_t{stride} * negotiated_height_;
  data.chunk->offset = 0;
  data.chunk->stride = static_cast<int32_t>(stride);
  data.chunk->flags = frame.corrupted ? SPA_CHUNK_FLAG_CORRUPTED : SPA_CHUNK_FLAG_NONE;
  data.chunk->size = 0;
  if (!frame.metadata_only && data.data != nullptr && frame.bgrx.size() == bytes &&
      data.maxsize >= bytes) {
    std::memcpy(data.data, frame.bgrx.data(), bytes);
    data.chunk->size = static_cast<uint32_t>(bytes);
  }
  if (auto* header = static_cast<spa_meta_header*>(
          spa_buffer_find_meta_data(&spa, SPA_META_Header, sizeof(spa_meta_header)))) {
    header->flags = frame.corrupted ? SPA_META_HEADER_FLAG_CORRUPTED : 0;
  }
  if (spa_meta* damage = spa_buffer_find_meta(&spa, SPA_META_VideoDamage)) {
    auto* regions = static_cast<spa_meta_region*>(damage->data);
    const size_t room = damage->size / sizeof(spa_meta_region);
    size_t used = 0;
    for (const ProducerRect& rect : frame.damage) {
      if (used == room) {
        break;
      }
      regions[used++].region = {{rect.x, rect.y}, {rect.width, rect.height}};
    }
    if (used < room) {
      regions[used].region = {{0, 0}, {0, 0}};
    }
  }
  if (spa_meta* meta = spa_buffer_find_meta(&spa, SPA_META_Cursor)) {
    auto* cursor = static_cast<spa_meta_cursor*>(meta->data);
    std::memset(cursor, 0, sizeof *cursor);
    if (frame.cursor) {
      const ProducerCursor& c = *frame.cursor;
      cursor->id = c.id;
      cursor->position = {c.x, c.y};
      cursor->hotspot = {c.hotspot_x, c.hotspot_y};
      const size_t image_bytes = c.argb.size();
      if (!c.argb.empty() &&
          sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + image_bytes <= meta->size) {
        cursor->bitmap_offset = sizeof(spa_meta_cursor);
        auto* bitmap = reinterpret_cast<spa_meta_bitmap*>(reinterpret_cast<uint8_t*>(cursor) +
                                                          sizeof(spa_meta_cursor));
        bitmap->format = SPA_VIDEO_FORMAT_ARGB;
        bitmap->size = {c.width, c.height};
        bitmap->stride = static_cast<int32_t>(c.width * 4);
        bitmap->offset = sizeof(spa_meta_bitmap);
        std::memcpy(reinterpret_cast<uint8_t*>(bitmap) + sizeof(spa_meta_bitmap), c.argb.data(),
                    image_bytes);
      }
    }
  }
}

std::vector<uint8_t> PatternPicture(uint32_t width, uint32_t height, uint8_t seed) {
  std::vector<uint8_t> bgrx(size_t{width} * height * 4);
  for (size_t pixel = 0; pixel < size_t{width} * height; ++pixel) {
    bgrx[pixel * 4 + 0] = static_cast<uint8_t>(pixel * 7 + seed);
    bgrx[pixel * 4 + 1] = static_cast<uint8_t>(pixel / 3 + seed * 5);
    bgrx[pixel * 4 + 2] = static_cast<uint8_t>(seed * 31 + pixel % 13);
    bgrx[pixel * 4 + 3] = 255;
  }
  return bgrx;
}

std::vector<uint8_t> OrangeBlockPicture(uint32_t width, uint32_t height) {
  std::vector<uint8_t> bgrx(size_t{width} * height * 4, 0);
  for (uint32_t y = height / 3; y < height * 2 / 3; ++y) {
    for (uint32_t x = 100; x < 220 && x < width; ++x) {
      uint8_t* pixel = &bgrx[(size_t{y} * width + x) * 4];
      pixel[1] = 0x80;
      pixel[2] = 0xFF;
    }
  }
  return bgrx;
}

}  // namespace orvane::testing
