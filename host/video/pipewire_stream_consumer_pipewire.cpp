#include "video/pipewire_stream_consumer_pipewire.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#include "base/logger.h"
#include "video/damage_copy.h"
#include "video/encoder_input.h"
#include "video/stream_metadata.h"

namespace orvane {
namespace {

static_assert(static_cast<uint32_t>(StreamPixelFormat::kRgbx) == SPA_VIDEO_FORMAT_RGBx);
static_assert(static_cast<uint32_t>(StreamPixelFormat::kBgrx) == SPA_VIDEO_FORMAT_BGRx);
static_assert(static_cast<uint32_t>(StreamPixelFormat::kXrgb) == SPA_VIDEO_FORMAT_xRGB);
static_assert(static_cast<uint32_t>(StreamPixelFormat::kXbgr) == SPA_VIDEO_FORMAT_xBGR);
static_assert(static_cast<uint32_t>(StreamPixelFormat::kRgba) == SPA_VIDEO_FORMAT_RGBA);
static_assert(static_cast<uint32_t>(StreamPixelFormat::kBgra) == SPA_VIDEO_FORMAT_BGRA);
static_assert(static_cast<uint32_t>(StreamPixelFormat::kArgb) == SPA_VIDEO_FORMAT_ARGB);
static_assert(static_cast<uint32_t>(StreamPixelFormat::kAbgr) == SPA_VIDEO_FORMAT_ABGR);
static_assert(sizeof(StreamRegion) == sizeof(spa_meta_region));

// Damage lists longer than this are merged by the producer into fewer rectangles.
constexpr uint32_t kMaxDamageRegions = 16;
// The largest cursor image metadata is asked to carry.
constexpr uint32_t kMaxCursorSide = 256;

void CloseIfOwned(int fd) {
  if (fd >= 0) {
    close(fd);
  }
}

void StartPipeWire() {
  static std::once_flag once;
  std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// The formats the stream may take: shared-memory 32-bit RGB layouts of any size, or of
// the one size wanted, which a producer without a size of its own (a virtual monitor)
// then takes.
const spa_pod* EnumFormat(spa_pod_builder& builder, const spa_rectangle& wanted_size) {
  spa_pod_frame object;
  spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
  spa_pod_builder_add(&builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                      SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), 0);
  spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_format, 0);
  spa_pod_frame choice;
  spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
  // The first value is the preferred one, then every alternative.
  spa_pod_builder_id(&builder, static_cast<uint32_t>(kOfferedStreamFormats[0]));
  for (const StreamPixelFormat format : kOfferedStreamFormats) {
    spa_pod_builder_id(&builder, static_cast<uint32_t>(format));
  }
  spa_pod_builder_pop(&builder, &choice);
  const spa_rectangle size_default{1920, 1080};
  const spa_rectangle size_min{1, 1};
  const spa_rectangle size_max{8192, 8192};
  const spa_fraction rate_default{60, 1};
  const spa_fraction rate_min{0, 1};
  const spa_fraction rate_max{360, 1};
  if (wanted_size.width != 0 && wanted_size.height != 0) {
    spa_pod_builder_add(&builder, SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&wanted_size), 0);
  } else {
    spa_pod_builder_add(&builder, SPA_FORMAT_VIDEO_size,
                        SPA_POD_CHOICE_RANGE_Rectangle(&size_default, &size_min, &size_max), 0);
  }
  spa_pod_builder_add(&builder, SPA_FORMAT_VIDEO_framerate,
                      SPA_POD_CHOICE_RANGE_Fraction(&rate_default, &rate_min, &rate_max), 0);
  return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

const char* FormatName(StreamPixelFormat format) {
  switch (format) {
    case StreamPixelFormat::kRgbx:
      return "RGBx";
    case StreamPixelFormat::kBgrx:
      return "BGRx";
    case StreamPixelFormat::kXrgb:
      return "xRGB";
    case StreamPixelFormat::kXbgr:
      return "xBGR";
    case StreamPixelFormat::kRgba:
      return "RGBA";
    case StreamPixelFormat::kBgra:
      return "BGRA";
    case StreamPixelFormat::kArgb:
      return "ARGB";
    case StreamPixelFormat::kAbgr:
      return "ABGR";
  }
  return "?";
}

}  // namespace

PipeWireStreamConsumer::PipeWireStreamConsumer(std::shared_ptr<StreamCursorFeed> cursor)
    : cursor_(std::move(cursor)) {}

PipeWireStreamConsumer::~PipeWireStreamConsumer() {
  Close();
}

bool PipeWireStreamConsumer::Open(int fd, uint32_t node_id, uint32_t wanted_width,
                                  uint32_t wanted_height) {
  Close();
  StartPipeWire();
  loop_ = pw_thread_loop_new("orvane-screencast", nullptr);
  if (loop_ == nullptr) {
    CloseIfOwned(fd);
    LOG_ERROR("[Capture] PipeWire thread loop could not be created");
    return false;
  }
  context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
  if (context_ == nullptr || pw_thread_loop_start(loop_) < 0) {
    CloseIfOwned(fd);
    LOG_ERROR("[Capture] PipeWire context could not be started");
    Close();
    return false;
  }
  pw_thread_loop_lock(loop_);
  // Without a descriptor: the session's own daemon, as PIPEWIRE_REMOTE or the default names it.
  core_ = fd >= 0 ? pw_context_connect_fd(context_, fd, nullptr, 0)
                  : pw_context_connect(context_, nullptr, 0);
  if (core_ == nullptr) {
    pw_thread_loop_unlock(loop_);
    LOG_ERROR("[Capture] PipeWire refused the screen-cast connection");
    Close();
    return false;
  }
  static const pw_core_events core_events = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = OnCoreError;
    return events;
  }();
  pw_core_add_listener(core_, &core_listener_, &core_events, this);
  node_id_ = node_id;
  registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
  if (registry_ != nullptr) {
    static const pw_registry_events registry_events = [] {
      pw_registry_events events{};
      events.version = PW_VERSION_REGISTRY_EVENTS;
      events.global_remove = OnGlobalRemoved;
      return events;
    }();
    pw_registry_add_listener(registry_, &registry_listener_, &registry_events, this);
  }
  stream_ = pw_stream_new(core_, "orvane-screencast",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
  static const pw_stream_events stream_events = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = OnStateChanged;
    events.param_changed = OnParamChanged;
    events.process = OnProcess;
    return events;
  }();
  int result = -1;
  if (stream_ != nullptr) {
    pw_stream_add_listener(stream_, &stream_listener_, &stream_events, this);
    uint8_t storage[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    const spa_rectangle wanted_size{wanted_width, wanted_height};
    const spa_pod* params[] = {EnumFormat(builder, wanted_size)};
    result = pw_stream_connect(
        stream_, PW_DIRECTION_INPUT, node_id,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
        params, 1);
  }
  pw_thread_loop_unlock(loop_);
  if (result < 0) {
    LOG_ERROR("[Capture] PipeWire stream to node %u could not be connected: %d", node_id, result);
    Close();
    return false;
  }
  LOG_INFO_COLLAPSED("[Capture] PipeWire stream connecting to node %u", node_id);
  return true;
}

void PipeWireStreamConsumer::Close() {
  if (loop_ != nullptr) {
    pw_thread_loop_lock(loop_);
    if (stream_ != nullptr) {
      spa_hook_remove(&stream_listener_);
      pw_stream_disconnect(stream_);
      pw_stream_destroy(stream_);
    }
    if (registry_ != nullptr) {
      spa_hook_remove(&registry_listener_);
      pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
    }
    if (core_ != nullptr) {
      spa_hook_remove(&core_listener_);
      pw_core_disconnect(core_);
    }
    pw_thread_loop_unlock(loop_);
    pw_thread_loop_stop(loop_);
  }
  if (context_ != nullptr) {
    pw_context_destroy(context_);
  }
  if (loop_ != nullptr) {
    pw_thread_loop_destroy(loop_);
  }
  stream_ = nullptr;
  registry_ = nullptr;
  core_ = nullptr;
  context_ = nullptr;
  loop_ = nullptr;
  negotiated_.reset();
  image_.clear();
  nv12_.clear();
  image_width_ = 0;
  image_height_ = 0;
  need_whole_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    buffers_waiting_ = false;
    lost_ = false;
  }
  if (cursor_ != nullptr) {
    cursor_->Clear();
  }
}

void PipeWireStreamConsumer::MarkLost() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lost_ = true;
  }
  wake_.notify_all();
}

void PipeWireStreamConsumer::OnCoreError(void* self, uint32_t id, int, int res,
                                         const char* message) {
  LOG_WARN("[Capture] PipeWire error on object %u: %d (%s)", id, res,
           message != nullptr ? message : "");
  if (id == PW_ID_CORE) {
    static_cast<PipeWireStreamConsumer*>(self)->MarkLost();
  }
}

void PipeWireStreamConsumer::OnGlobalRemoved(void* self, uint32_t id) {
  auto* consumer = static_cast<PipeWireStreamConsumer*>(self);
  if (id == consumer->node_id_) {
    LOG_WARN("[Capture] The screen-cast node %u went away", id);
    consumer->MarkLost();
  }
}

void PipeWireStreamConsumer::OnStateChanged(void* self, pw_stream_state, pw_stream_state state,
                                            const char* error) {
  auto* consumer = static_cast<PipeWireStreamConsumer*>(self);
  consumer->streaming_.store(state == PW_STREAM_STATE_STREAMING);
  if (state == PW_STREAM_STATE_ERROR) {
    LOG_WARN("[Capture] PipeWire stream failed: %s", error != nullptr ? error : "");
    consumer->MarkLost();
  } else if (state == PW_STREAM_STATE_UNCONNECTED) {
    // The producer's node went away: the desktop ended the screen cast.
    LOG_WARN("[Capture] PipeWire stream disconnected");
    consumer->MarkLost();
  } else if (state == PW_STREAM_STATE_STREAMING) {
    LOG_INFO_COLLAPSED("[Capture] PipeWire stream is streaming");
  }
}

void PipeWireStreamConsumer::OnParamChanged(void* self, uint32_t id, const spa_pod* param) {
  auto* consumer = static_cast<PipeWireStreamConsumer*>(self);
  if (id != SPA_PARAM_Format || param == nullptr) {
    return;
  }
  uint32_t media_type = 0;
  uint32_t media_subtype = 0;
  spa_video_info_raw raw{};
  if (spa_format_parse(param, &media_type, &media_subtype) < 0 ||
      media_type != SPA_MEDIA_TYPE_video || media_subtype != SPA_MEDIA_SUBTYPE_raw ||
      spa_format_video_raw_parse(param, &raw) < 0) {
    return;
  }
  const std::optional<StreamPixelFormat> format = StreamPixelFormatFromId(raw.format);
  if (!format || raw.size.width == 0 || raw.size.height == 0) {
    LOG_WARN("[Capture] PipeWire stream offers format %u %ux%u, which capture cannot read",
             raw.format, raw.size.width, raw.size.height);
    consumer->negotiated_.reset();
    return;
  }
  consumer->negotiated_ = Negotiated{*format, raw.size.width, raw.size.height};
  LOG_INFO("[Capture] PipeWire stream format %s %ux%u", FormatName(*format), raw.size.width,
           raw.size.height);

  // Shared memory only: the pixels are read by the processor, and a DMA-BUF would need
  // a graphics device to import it.
  const int32_t stride = static_cast<int32_t>(raw.size.width * 4);
  const int32_t size = stride * static_cast<int32_t>(raw.size.height);
  const int32_t damage_size = static_cast<int32_t>(sizeof(spa_meta_region) * kMaxDamageRegions);
  const int32_t cursor_size =
      static_cast<int32_t>(StreamCursorMetaSize(kMaxCursorSide, kMaxCursorSide));
  const int32_t small_cursor_size = static_cast<int32_t>(StreamCursorMetaSize(1, 1));
  uint8_t storage[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
  const spa_pod* params[] = {
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
          SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
          SPA_PARAM_BUFFERS_size, SPA_POD_Int(size), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride),
          SPA_PARAM_BUFFERS_dataType,
          SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
          SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
          SPA_POD_Int(static_cast<int32_t>(sizeof(spa_meta_header))))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
          SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
          SPA_POD_CHOICE_RANGE_Int(damage_size, static_cast<int32_t>(sizeof(spa_meta_region)),
                                   damage_size))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
          SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
          SPA_POD_CHOICE_RANGE_Int(cursor_size, small_cursor_size, cursor_size))),
  };
  pw_stream_update_params(consumer->stream_, params, 4);
}

void PipeWireStreamConsumer::OnProcess(void* self) {
  auto* consumer = static_cast<PipeWireStreamConsumer*>(self);
  {
    std::lock_guard<std::mutex> lock(consumer->mutex_);
    consumer->buffers_waiting_ = true;
  }
  consumer->wake_.notify_all();
}

CapturedFrame PipeWireStreamConsumer::Capture(uint32_t wait_ms) {
  CapturedFrame frame;
  if (loop_ == nullptr) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                   [this] { return buffers_waiting_ || lost_; });
    buffers_waiting_ = false;
    if (lost_) {
      frame.status = CaptureStatus::kInvalidated;
      return frame;
    }
  }
  bool whole = false;
  std::vector<PixelRect> changed;
  pw_thread_loop_lock(loop_);
  // Every buffer that came is applied in order: each one's damage is relative to the one
  // before it.
  while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream_)) {
    ApplyBuffer(buffer, whole, changed);
    pw_stream_queue_buffer(stream_, buffer);
  }
  pw_thread_loop_unlock(loop_);
  if (!whole && changed.empty()) {
    frame.status = CaptureStatus::kNoNewFrame;
    return frame;
  }
  ConvertChanged(whole, changed);
  frame.status = CaptureStatus::kFrameReady;
  frame.data = image_.data();
  frame.row_pitch = image_width_ * 4;
  frame.width = image_width_;
  frame.height = image_height_;
  frame.data_size = image_.size();
  frame.nv12 = nv12_.data();
  // Buffers change the kept picture only during a capture that reports it.
  frame.kept_until_next_frame = true;
  return frame;
}

void PipeWireStreamConsumer::ApplyBuffer(pw_buffer* buffer, bool& whole,
                                         std::vector<PixelRect>& changed) {
  const spa_buffer& spa = *buffer->buffer;
  // The cursor travels with every buffer, also with those that carry no new picture.
  if (const spa_meta* meta = spa_buffer_find_meta(&spa, SPA_META_Cursor);
      meta != nullptr && cursor_ != nullptr) {
    if (const std::optional<StreamCursor> cursor =
            ParseStreamCursor(static_cast<const uint8_t*>(meta->data), meta->size)) {
      cursor_->Update(*cursor);
    }
  }
  bool corrupted = false;
  if (const auto* header = static_cast<const spa_meta_header*>(
          spa_buffer_find_meta_data(&spa, SPA_META_Header, sizeof(spa_meta_header)))) {
    corrupted = (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0;
  }
  if (spa.n_datas < 1 || spa.datas[0].chunk == nullptr) {
    return;
  }
  corrupted = corrupted || (spa.datas[0].chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0;
  if (corrupted) {
    ++dropped_buffers_;
    need_whole_ = true;
    return;
  }
  if (spa.datas[0].chunk->size == 0) {
    return;  // metadata only: the cursor moved over a still picture
  }
  if (!CopyPixels(spa, whole, changed)) {
    need_whole_ = true;
  }
}

bool PipeWireStreamConsumer::CopyPixels(const spa_buffer& buffer, bool& whole,
                                        std::vector<PixelRect>& changed) {
  if (!negotiated_) {
    return false;
  }
  const Negotiated format = *negotiated_;
  const spa_data& data = buffer.datas[0];
  const spa_chunk& chunk = *data.chunk;
  const size_t row_bytes = size_t{format.width} * 4;
  const size_t stride = chunk.stride > 0 ? static_cast<size_t>(chunk.stride) : row_bytes;
  const uint64_t needed =
      uint64_t{chunk.offset} + uint64_t{stride} * (format.height - 1) + row_bytes;
  if (data.data == nullptr || stride < row_bytes || needed > data.maxsize) {
    LOG_WARN_COLLAPSED("[Capture] PipeWire buffer does not hold a %ux%u picture; dropped",
                       format.width, format.height);
    return false;
  }
  if (image_width_ != format.width || image_height_ != format.height) {
    image_width_ = format.width;
    image_height_ = format.height;
    image_.assign(size_t{image_width_} * image_height_ * 4, 0);
    nv12_.assign(Nv12FrameSize(image_width_, image_height_), 0);
    need_whole_ = true;
    changed.clear();
  }
  const spa_meta* damage_meta = spa_buffer_find_meta(&buffer, SPA_META_VideoDamage);
  std::vector<ScreenRect> damage;
  if (damage_meta != nullptr && damage_meta->data != nullptr) {
    const auto* regions = static_cast<const StreamRegion*>(damage_meta->data);
    damage = StreamDamage({regions, damage_meta->size / sizeof(StreamRegion)});
  }
  // A producer that names no damage sent a whole new picture.
  DamageCopyPlan plan = PlanDamageCopy(damage, 0, 0, image_width_, image_height_);
  if (need_whole_ || damage.empty()) {
    plan.whole = true;
    plan.rects = {{0, 0, image_width_, image_height_}};
  }
  const auto* source = static_cast<const uint8_t*>(data.data) + chunk.offset;
  for (const PixelRect& rect : plan.rects) {
    CopyStreamRectToBgra(format.format, source, stride, rect, image_.data(), row_bytes);
  }
  need_whole_ = false;
  if (plan.whole) {
    whole = true;
  } else {
    changed.insert(changed.end(), plan.rects.begin(), plan.rects.end());
  }
  return true;
}

void PipeWireStreamConsumer::ConvertChanged(bool whole, const std::vector<PixelRect>& changed) {
  const size_t pitch = size_t{image_width_} * 4;
  const size_t luma = size_t{image_width_} * image_height_;
  const Nv12Planes planes{nv12_.data(), image_width_, nv12_.data() + luma, image_width_};
  if (whole) {
    ConvertBgraToNv12(image_.data(), pitch, image_width_, image_height_, planes);
    last_changed_ = {{0, 0, image_width_, image_height_}};
    last_converted_pixels_ = luma;
    return;
  }
  last_changed_ = changed;
  last_converted_pixels_ = 0;
  for (const PixelRect& rect : changed) {
    ConvertBgraRectToNv12(image_.data(), pitch, image_width_, image_height_, rect, planes);
    last_converted_pixels_ += uint64_t{rect.width} * rect.height;
  }
}

}  // namespace orvane
