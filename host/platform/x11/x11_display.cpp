#include "platform/x11/x11_display.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orvane {
namespace {

constexpr char kMarkerAtomName[] = "_ORVANE_EVENT_MARKER";
// Bounds a Sync whose marker the server never delivers; it does not happen on a live
// connection.
constexpr auto kSyncLimit = std::chrono::seconds(5);

xcb_screen_t* ScreenNumber(xcb_connection_t* connection, int number) {
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < number && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  return screens.rem > 0 ? screens.data : nullptr;
}

}  // namespace

std::shared_ptr<X11Display> X11Display::Open(const std::string& display_name) {
  int screen_number = 0;
  xcb_connection_t* connection =
      xcb_connect(display_name.empty() ? nullptr : display_name.c_str(), &screen_number);
  xcb_screen_t* screen =
      xcb_connection_has_error(connection) ? nullptr : ScreenNumber(connection, screen_number);
  if (screen == nullptr) {
    xcb_disconnect(connection);
    return nullptr;
  }
  std::shared_ptr<X11Display> display(new X11Display(connection, screen));
  const auto atom_cookie =
      xcb_intern_atom(connection, 0, sizeof(kMarkerAtomName) - 1, kMarkerAtomName);
  if (auto* atom = xcb_intern_atom_reply(connection, atom_cookie, nullptr)) {
    display->marker_atom_ = atom->atom;
    std::free(atom);
  }
  display->marker_window_ = xcb_generate_id(connection);
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, display->marker_window_, screen->root, -1, -1,
                    1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  xcb_flush(connection);
  if (display->lost()) {
    return nullptr;
  }
  display->event_thread_ = std::thread(&X11Display::EventLoop, display.get());
  return display;
}

X11Display::X11Display(xcb_connection_t* connection, xcb_screen_t* screen)
    : connection_(connection), screen_(screen) {}

X11Display::~X11Display() {
  stopping_.store(true);
  if (event_thread_.joinable()) {
    SendMarker(0);
    event_thread_.join();
  }
  xcb_disconnect(connection_);
}

bool X11Display::lost() const {
  return xcb_connection_has_error(connection_) != 0;
}

std::shared_ptr<X11EventQueue> X11Display::Subscribe(X11EventQueue::Filter filter) {
  auto queue = std::make_shared<X11EventQueue>(std::move(filter));
  std::lock_guard<std::mutex> lock(subscriptions_mutex_);
  subscriptions_.push_back(queue);
  if (event_thread_done_) {
    queue->MarkLost();
  }
  return queue;
}

void X11Display::SendMarker(uint32_t marker) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = marker_window_;
  event.type = marker_atom_;
  event.data.data32[0] = marker;
  // With no event mask the server delivers the event to the window's creator: us.
  xcb_send_event(connection_, 0, marker_window_, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(connection_);
}

void X11Display::Sync() {
  std::unique_lock<std::mutex> lock(marker_mutex_);
  const uint32_t marker = ++last_marker_sent_;
  lock.unlock();
  SendMarker(marker);
  lock.lock();
  marker_seen_.wait_for(lock, kSyncLimit,
                        [&] { return last_marker_seen_ >= marker || event_thread_done_; });
}

void X11Display::EventLoop() {
  while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
    const uint8_t type = event->response_type & 0x7F;
    const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if (type == XCB_CLIENT_MESSAGE && message->window == marker_window_) {
      {
        std::lock_guard<std::mutex> lock(marker_mutex_);
        last_marker_seen_ = std::max(last_marker_seen_, message->data.data32[0]);
      }
      marker_seen_.notify_all();
    } else if (type != 0) {  // errors of unchecked requests concern nobody here
      Dispatch(*event);
    }
    std::free(event);
    if (stopping_.load()) {
      break;
    }
  }
  std::lock_guard<std::mutex> subscriptions_lock(subscriptions_mutex_);
  {
    std::lock_guard<std::mutex> lock(marker_mutex_);
    event_thread_done_ = true;
  }
  marker_seen_.notify_all();
  for (const auto& subscription : subscriptions_) {
    if (auto queue = subscription.lock()) {
      queue->MarkLost();
    }
  }
}

void X11Display::Dispatch(const xcb_generic_event_t& event) {
  std::lock_guard<std::mutex> lock(subscriptions_mutex_);
  std::erase_if(subscriptions_, [](const auto& subscription) { return subscription.expired(); });
  for (const auto& subscription : subscriptions_) {
    if (auto queue = subscription.lock(); queue && queue->Wants(event)) {
      queue->Push(event);
    }
  }
}

bool X11Display::RootIsBgra32() const {
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
    return false;
  }
  bool four_bytes = false;
  for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
       xcb_format_next(&formats)) {
    if (formats.data->depth == screen_->root_depth) {
      four_bytes = formats.data->bits_per_pixel == 32;
    }
  }
  if (!four_bytes) {
    return false;
  }
  for (auto depths = xcb_screen_allowed_depths_iterator(screen_); depths.rem > 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t* visual = visuals.data;
      if (visual->visual_id == screen_->root_visual) {
        return visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
               visual->blue_mask == 0xFF;
      }
    }
  }
  return false;
}

}  // namespace orvane
