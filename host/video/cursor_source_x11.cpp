#include "video/cursor_source_x11.h"

#include <xcb/xfixes.h>

#include <cstdlib>

#include "video/cursor_shape_name.h"

namespace orvane {
namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> Owned(Reply* reply) {
  return ReplyPtr<Reply>(reply, &std::free);
}

}  // namespace

std::unique_ptr<X11CursorSource> X11CursorSource::Open(X11DisplaySource& displays) {
  std::unique_ptr<X11CursorSource> source(new X11CursorSource());
  source->x11_ = displays.Get();
  if (source->x11_ == nullptr) {
    return nullptr;
  }
  xcb_connection_t* connection = source->x11_->connection();
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_xfixes_id);
  if (extension == nullptr || !extension->present) {
    return nullptr;
  }
  // The server answers XFixes requests only after the client announced its version.
  const auto version = Owned(xcb_xfixes_query_version_reply(
      connection, xcb_xfixes_query_version(connection, 4, 0), nullptr));
  if (!version || version->major_version < 2) {
    return nullptr;
  }
  const auto cursor_notify =
      static_cast<uint8_t>(extension->first_event + XCB_XFIXES_CURSOR_NOTIFY);
  source->cursor_changes_ =
      source->x11_->Subscribe([cursor_notify](const xcb_generic_event_t& event) {
        return (event.response_type & 0x7F) == cursor_notify;
      });
  xcb_xfixes_select_cursor_input(connection, source->x11_->root(),
                                 XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
  xcb_flush(connection);
  return source;
}

bool X11CursorSource::ReadPointer(CursorPointer& pointer) {
  if (x11_->lost()) {
    return false;
  }
  while (X11Event event = cursor_changes_->Take()) {
    image_serial_ =
        reinterpret_cast<const xcb_xfixes_cursor_notify_event_t*>(event.get())->cursor_serial;
  }
  xcb_connection_t* connection = x11_->connection();
  const auto reply = Owned(
      xcb_query_pointer_reply(connection, xcb_query_pointer(connection, x11_->root()), nullptr));
  if (!reply) {
    return false;
  }
  pointer.x = reply->root_x;
  pointer.y = reply->root_y;
  pointer.visible = true;
  pointer.image_id = image_serial_;
  return true;
}

bool X11CursorSource::ReadImage(CursorImage& image) {
  image.shape = CursorShapeFromXName("");
  if (x11_->lost()) {
    return false;
  }
  xcb_connection_t* connection = x11_->connection();
  const auto reply = Owned(xcb_xfixes_get_cursor_image_and_name_reply(
      connection, xcb_xfixes_get_cursor_image_and_name(connection), nullptr));
  if (!reply) {
    return false;
  }
  image.shape = CursorShapeFromXName(std::string_view(
      xcb_xfixes_get_cursor_image_and_name_name(reply.get()),
      static_cast<size_t>(xcb_xfixes_get_cursor_image_and_name_name_length(reply.get()))));
  const uint32_t* pixels = xcb_xfixes_get_cursor_image_and_name_cursor_image(reply.get());
  const size_t count =
      static_cast<size_t>(xcb_xfixes_get_cursor_image_and_name_cursor_image_length(reply.get()));
  if (count != size_t{reply->width} * reply->height) {
    return false;
  }
  image.hotspot_x = reply->xhot;
  image.hotspot_y = reply->yhot;
  image.width = reply->width;
  image.height = reply->height;
  image.bgra.resize(count * 4);
  // Each pixel is a premultiplied ARGB word; the wire wants its bytes as B, G, R, A
  // whatever the host's byte order.
  for (size_t i = 0; i < count; ++i) {
    const uint32_t argb = pixels[i];
    image.bgra[i * 4 + 0] = static_cast<uint8_t>(argb);
    image.bgra[i * 4 + 1] = static_cast<uint8_t>(argb >> 8);
    image.bgra[i * 4 + 2] = static_cast<uint8_t>(argb >> 16);
    image.bgra[i * 4 + 3] = static_cast<uint8_t>(argb >> 24);
  }
  return true;
}

}  // namespace orvane
