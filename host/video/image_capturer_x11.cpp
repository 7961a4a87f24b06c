#include "video/image_capturer_x11.h"

#include <cstdlib>
#include <utility>

#include "base/logger.h"

namespace orvane {

X11ImageCapturer::X11ImageCapturer(std::shared_ptr<X11DisplaySource> displays)
    : displays_(std::move(displays)) {}

X11ImageCapturer::~X11ImageCapturer() {
  Release();
}

bool X11ImageCapturer::Initialize(uint32_t, uint32_t, uint32_t) {
  x11_ = displays_->Get();
  if (x11_ == nullptr) {
    LOG_ERROR_COLLAPSED("[Capture] Cannot open the X display for GetImage capture");
    return false;
  }
  if (!x11_->RootIsBgra32()) {
    LOG_ERROR_COLLAPSED(
        "[Capture] X screen pixel format is not 32-bit xRGB; GetImage capture unavailable");
    Release();
    return false;
  }
  return true;
}

CapturedFrame X11ImageCapturer::Capture(uint32_t) {
  CapturedFrame frame;
  std::free(image_);
  image_ = nullptr;
  if (x11_ == nullptr || x11_->lost()) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  xcb_connection_t* connection = x11_->connection();
  const xcb_window_t root = x11_->root();
  // The screen may have been resized since the connection was made; the setup is stale.
  auto* geometry = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr);
  if (geometry == nullptr) {
    frame.status = x11_->lost() ? CaptureStatus::kInvalidated : CaptureStatus::kFailed;
    return frame;
  }
  const uint16_t width = geometry->width;
  const uint16_t height = geometry->height;
  std::free(geometry);
  xcb_generic_error_t* error = nullptr;
  image_ = xcb_get_image_reply(
      connection,
      xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, 0, 0, width, height, ~0u), &error);
  if (image_ == nullptr) {
    if (x11_->lost()) {
      frame.status = CaptureStatus::kInvalidated;
    } else {
      LOG_WARN("[Capture] GetImage failed: X error %u", error != nullptr ? error->error_code : 0);
    }
    std::free(error);
    return frame;
  }
  frame.status = CaptureStatus::kFrameReady;
  frame.data = xcb_get_image_data(image_);
  frame.row_pitch = uint32_t{width} * 4;
  frame.width = width;
  frame.height = height;
  frame.data_size = static_cast<size_t>(xcb_get_image_data_length(image_));
  return frame;
}

void X11ImageCapturer::Release() {
  std::free(image_);
  image_ = nullptr;
  x11_.reset();
}

}  // namespace orvane
