#include "video/shm_capturer_x11.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/randr.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <utility>

#include "base/logger.h"
#include "platform/clock.h"
#include "video/encoder_input.h"
#include "video/nv12_converter.h"

namespace orvane {

X11ShmCapturer::X11ShmCapturer(std::shared_ptr<X11DisplaySource> displays)
    : displays_(std::move(displays)) {}

X11ShmCapturer::~X11ShmCapturer() {
  Release();
}

bool X11ShmCapturer::CheckExtensions() {
  xcb_connection_t* connection = x11_->connection();
  const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection, &xcb_shm_id);
  const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection, &xcb_damage_id);
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
  const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
  if (shm == nullptr || !shm->present) {
    LOG_ERROR_COLLAPSED("[Capture] X server offers no MIT-SHM extension");
    return false;
  }
  if (damage == nullptr || !damage->present || randr == nullptr || !randr->present ||
      xfixes == nullptr || !xfixes->present) {
    LOG_ERROR_COLLAPSED(
        "[Capture] X server lacks DAMAGE, XFIXES or RandR; MIT-SHM capture unavailable");
    return false;
  }
  // DAMAGE only serves clients that announced their version.
  auto* damage_version = xcb_damage_query_version_reply(
      connection, xcb_damage_query_version(connection, 1, 1), nullptr);
  auto* randr_version =
      xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr);
  const bool monitors_supported = randr_version != nullptr && (randr_version->major_version > 1 ||
                                                               randr_version->minor_version >= 5);
  // Regions, which carry the damaged rectangles, came with XFIXES 2.
  auto* xfixes_version = xcb_xfixes_query_version_reply(
      connection, xcb_xfixes_query_version(connection, 4, 0), nullptr);
  const bool damage_supported =
      damage_version != nullptr && xfixes_version != nullptr && xfixes_version->major_version >= 2;
  std::free(damage_version);
  std::free(randr_version);
  std::free(xfixes_version);
  if (!damage_supported || !monitors_supported) {
    LOG_ERROR(
        "[Capture] X server lacks DAMAGE 1.1, XFIXES 2 or RandR 1.5; MIT-SHM capture "
        "unavailable");
    return false;
  }
  damage_first_event_ = damage->first_event;
  randr_first_event_ = randr->first_event;
  return true;
}

bool X11ShmCapturer::FindMonitor(uint32_t output_index) {
  xcb_connection_t* connection = x11_->connection();
  auto* reply = xcb_randr_get_monitors_reply(
      connection, xcb_randr_get_monitors(connection, x11_->root(), 1), nullptr);
  if (reply == nullptr || reply->nMonitors == 0) {
    std::free(reply);
    LOG_ERROR_COLLAPSED("[Capture] No X11 monitor available for MIT-SHM capture");
    return false;
  }
  if (output_index >= static_cast<uint32_t>(reply->nMonitors)) {
    LOG_WARN("[Capture] Output index %u unavailable, falling back to output 0", output_index);
    output_index = 0;
  }
  auto monitors = xcb_randr_get_monitors_monitors_iterator(reply);
  for (uint32_t i = 0; i < output_index; ++i) {
    xcb_randr_monitor_info_next(&monitors);
  }
  monitor_.x = monitors.data->x;
  monitor_.y = monitors.data->y;
  monitor_.width = monitors.data->width;
  monitor_.height = monitors.data->height;
  std::free(reply);
  if (monitor_.width == 0 || monitor_.height == 0) {
    LOG_ERROR_COLLAPSED("[Capture] X11 monitor %u has no area", output_index);
    return false;
  }
  return true;
}

bool X11ShmCapturer::AttachSegment() {
  pixels_size_ = size_t{monitor_.width} * monitor_.height * 4;
  const int id = shmget(IPC_PRIVATE, 2 * pixels_size_, IPC_CREAT | 0600);
  if (id < 0) {
    LOG_ERROR("[Capture] shmget of %zu bytes failed: errno %d", 2 * pixels_size_, errno);
    return false;
  }
  void* address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    LOG_ERROR("[Capture] shmat failed: errno %d", errno);
    shmctl(id, IPC_RMID, nullptr);
    return false;
  }
  pixels_ = static_cast<uint8_t*>(address);
  xcb_connection_t* connection = x11_->connection();
  const xcb_shm_seg_t segment = xcb_generate_id(connection);
  xcb_generic_error_t* error =
      xcb_request_check(connection, xcb_shm_attach_checked(connection, segment, id, 0));
  // Marked for removal now, the segment disappears once both sides have detached, even
  // if the process dies.
  shmctl(id, IPC_RMID, nullptr);
  if (error != nullptr) {
    // A remote server cannot see our segment.
    LOG_ERROR("[Capture] MIT-SHM attach failed: X error %u", error->error_code);
    std::free(error);
    return false;
  }
  segment_ = segment;
  return true;
}

bool X11ShmCapturer::Initialize(uint32_t output_index, uint32_t width, uint32_t height) {
  x11_ = displays_->Get();
  if (x11_ == nullptr) {
    LOG_ERROR_COLLAPSED("[Capture] Cannot open the X display for MIT-SHM capture");
    return false;
  }
  if (!x11_->RootIsBgra32()) {
    LOG_ERROR_COLLAPSED(
        "[Capture] X screen pixel format is not 32-bit xRGB; MIT-SHM capture unavailable");
    Release();
    return false;
  }
  if (!CheckExtensions() || !FindMonitor(output_index) || !AttachSegment()) {
    Release();
    return false;
  }
  xcb_connection_t* connection = x11_->connection();
  const xcb_window_t root = x11_->root();
  damage_ = xcb_generate_id(connection);
  const xcb_damage_damage_t damage = damage_;
  const uint8_t damage_notify = damage_first_event_ + XCB_DAMAGE_NOTIFY;
  const uint8_t screen_change_notify = randr_first_event_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY;
  const uint8_t randr_notify = randr_first_event_ + XCB_RANDR_NOTIFY;
  events_ = x11_->Subscribe([=](const xcb_generic_event_t& event) {
    const uint8_t type = event.response_type & 0x7F;
    if (type == damage_notify) {
      return reinterpret_cast<const xcb_damage_notify_event_t&>(event).damage == damage;
    }
    return type == screen_change_notify || type == randr_notify;
  });
  xcb_damage_create(connection, damage_, root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
  damage_region_ = xcb_generate_id(connection);
  xcb_xfixes_create_region(connection, damage_region_, 0, nullptr);
  nv12_.assign(Nv12FrameSize(monitor_.width, monitor_.height), 0);
  have_image_ = false;
  // Selected for good: other users of the shared connection may rely on the same mask.
  xcb_randr_select_input(connection, root,
                         XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                             XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
  // The server reports the whole window as damaged when the damage object is created.
  // Taking that report now keeps it from arriving after the first image as a change.
  x11_->Sync();
  DrainEvents();
  damaged_ = true;
  screen_changed_ = false;
  LOG_INFO_COLLAPSED("[Capture] X11 MIT-SHM initialized (%ux%u, monitor %ux%u%+d%+d)", width,
                     height, monitor_.width, monitor_.height, monitor_.x, monitor_.y);
  return true;
}

void X11ShmCapturer::Note(const xcb_generic_event_t& event) {
  if ((event.response_type & 0x7F) == damage_first_event_ + XCB_DAMAGE_NOTIFY) {
    damaged_ = true;
  } else {
    screen_changed_ = true;
  }
}

void X11ShmCapturer::DrainEvents() {
  while (X11Event event = events_->Take()) {
    Note(*event);
  }
}

void X11ShmCapturer::WaitForEvents(uint32_t wait_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (!damaged_ && !screen_changed_ && !x11_->lost()) {
    // Rounded up, so the wait does not end short of the deadline the caller planned by.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return;
    }
    if (X11Event event = events_->Take(left)) {
      Note(*event);
    }
  }
}

CapturedFrame X11ShmCapturer::Capture(uint32_t wait_ms) {
  CapturedFrame frame;
  if (segment_ == XCB_NONE) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  DrainEvents();
  WaitForEvents(wait_ms);
  if (x11_->lost() || screen_changed_) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  if (!damaged_) {
    frame.status = CaptureStatus::kNoNewFrame;
    return frame;
  }
  const std::optional<std::vector<ScreenRect>> damage = TakeDamage();
  damaged_ = false;
  const DamageCopyPlan plan =
      damage ? PlanDamageCopy(*damage, monitor_.x, monitor_.y, monitor_.width, monitor_.height)
             : DamageCopyPlan{};
  // A report may come for damage an earlier copy already took, or lie on another monitor.
  if (have_image_ && damage && plan.rects.empty()) {
    frame.status = CaptureStatus::kNoNewFrame;
    return frame;
  }
  // Without the server's list of rectangles the whole image is copied.
  const bool whole = !have_image_ || !damage || plan.whole;
  if (!(whole ? CopyWhole() : CopyRects(plan.rects))) {
    // Taken damage is lost with a failed copy: the next attempt copies everything.
    damaged_ = true;
    frame.status = x11_->lost() ? CaptureStatus::kInvalidated : CaptureStatus::kFailed;
    return frame;
  }
  frame.status = CaptureStatus::kFrameReady;
  frame.data = pixels_;
  frame.row_pitch = uint32_t{monitor_.width} * 4;
  frame.width = monitor_.width;
  frame.height = monitor_.height;
  frame.data_size = pixels_size_;
  frame.nv12 = nv12_.data();
  // Damage only ever adds to this image, during a capture that reports it.
  frame.kept_until_next_frame = true;
  return frame;
}

std::optional<std::vector<ScreenRect>> X11ShmCapturer::TakeDamage() {
  xcb_connection_t* connection = x11_->connection();
  // Cleared before the copy, so drawing during the copy is reported next time.
  xcb_damage_subtract(connection, damage_, XCB_NONE, damage_region_);
  auto* reply = xcb_xfixes_fetch_region_reply(
      connection, xcb_xfixes_fetch_region(connection, damage_region_), nullptr);
  if (reply == nullptr) {
    return std::nullopt;
  }
  std::vector<ScreenRect> rects;
  const xcb_rectangle_t* parts = xcb_xfixes_fetch_region_rectangles(reply);
  const int count = xcb_xfixes_fetch_region_rectangles_length(reply);
  for (int i = 0; i < count; ++i) {
    rects.push_back({parts[i].x, parts[i].y, parts[i].width, parts[i].height});
  }
  std::free(reply);
  return rects;
}

bool X11ShmCapturer::CheckReply(xcb_shm_get_image_reply_t* reply, xcb_generic_error_t* error) {
  if (reply == nullptr && !x11_->lost()) {
    LOG_WARN("[Capture] MIT-SHM GetImage failed: X error %u",
             error != nullptr ? error->error_code : 0);
  }
  const bool copied = reply != nullptr;
  std::free(error);
  std::free(reply);
  return copied;
}

bool X11ShmCapturer::CopyWhole() {
  xcb_connection_t* connection = x11_->connection();
  xcb_generic_error_t* error = nullptr;
  auto* reply = xcb_shm_get_image_reply(
      connection,
      xcb_shm_get_image(connection, x11_->root(), monitor_.x, monitor_.y, monitor_.width,
                        monitor_.height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
      &error);
  // A failed copy may have left the image half written.
  have_image_ = CheckReply(reply, error);
  if (!have_image_) {
    return false;
  }
  const uint64_t start_us = MonotonicMicros();
  const size_t luma = size_t{monitor_.width} * monitor_.height;
  ConvertBgraToNv12(pixels_, size_t{monitor_.width} * 4, monitor_.width, monitor_.height,
                    {nv12_.data(), monitor_.width, nv12_.data() + luma, monitor_.width});
  last_conversion_us_ = MonotonicMicros() - start_us;
  last_converted_pixels_ = luma;
  return true;
}

bool X11ShmCapturer::CopyRects(const std::vector<PixelRect>& rects) {
  xcb_connection_t* connection = x11_->connection();
  // All requests first, then the replies: one round trip for every rectangle together.
  // Each rectangle gets its own place in the room after the image.
  std::vector<xcb_shm_get_image_cookie_t> cookies;
  std::vector<size_t> offsets;
  size_t offset = pixels_size_;
  for (const PixelRect& rect : rects) {
    cookies.push_back(xcb_shm_get_image(
        connection, x11_->root(), static_cast<int16_t>(monitor_.x + static_cast<int32_t>(rect.x)),
        static_cast<int16_t>(monitor_.y + static_cast<int32_t>(rect.y)),
        static_cast<uint16_t>(rect.width), static_cast<uint16_t>(rect.height), ~0u,
        XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, static_cast<uint32_t>(offset)));
    offsets.push_back(offset);
    offset += size_t{rect.width} * rect.height * 4;
  }
  bool copied = true;
  for (const xcb_shm_get_image_cookie_t& cookie : cookies) {
    xcb_generic_error_t* error = nullptr;
    copied = CheckReply(xcb_shm_get_image_reply(connection, cookie, &error), error) && copied;
  }
  if (!copied) {
    have_image_ = false;
    return false;
  }
  const uint64_t start_us = MonotonicMicros();
  const size_t pitch = size_t{monitor_.width} * 4;
  const size_t luma = size_t{monitor_.width} * monitor_.height;
  const Nv12Planes planes{nv12_.data(), monitor_.width, nv12_.data() + luma, monitor_.width};
  for (size_t i = 0; i < rects.size(); ++i) {
    CopyBgraRect(pixels_ + offsets[i], rects[i], pixels_, pitch);
  }
  // After every copy: a rectangle's chroma blocks may reach into its neighbour's pixels.
  last_converted_pixels_ = 0;
  for (const PixelRect& rect : rects) {
    ConvertBgraRectToNv12(pixels_, pitch, monitor_.width, monitor_.height, rect, planes);
    last_converted_pixels_ += uint64_t{rect.width} * rect.height;
  }
  last_conversion_us_ = MonotonicMicros() - start_us;
  return true;
}

void X11ShmCapturer::Release() {
  if (x11_ != nullptr && !x11_->lost()) {
    if (damage_ != XCB_NONE) {
      xcb_damage_destroy(x11_->connection(), damage_);
    }
    if (damage_region_ != XCB_NONE) {
      xcb_xfixes_destroy_region(x11_->connection(), damage_region_);
    }
    if (segment_ != XCB_NONE) {
      xcb_shm_detach(x11_->connection(), segment_);
    }
    xcb_flush(x11_->connection());
  }
  events_.reset();
  x11_.reset();
  if (pixels_ != nullptr) {
    shmdt(pixels_);
  }
  damage_ = XCB_NONE;
  damage_region_ = XCB_NONE;
  segment_ = XCB_NONE;
  nv12_.clear();
  nv12_.shrink_to_fit();
  have_image_ = false;
  pixels_ = nullptr;
  pixels_size_ = 0;
  damaged_ = false;
  screen_changed_ = false;
}

}  // namespace orvane
