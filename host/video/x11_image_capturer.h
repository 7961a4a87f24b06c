#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string>

#include "video/screen_capturer.h"
#include "video/x11_connection.h"

namespace orvane {

// The last resort: a plain GetImage of the whole screen through the X connection, with
// no shared memory and no change tracking. The capture backend scales the image to the
// stream size.
class X11ImageCapturer final : public ScreenCapturer {
 public:
  // An empty display name means $DISPLAY.
  explicit X11ImageCapturer(std::string display_name = {});
  ~X11ImageCapturer() override;

  const char* name() const override { return "x11image"; }
  const char* description() const override { return "X11 GetImage"; }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

 private:
  const std::string display_name_;
  X11Connection x11_;
  // Holds the pixels of the last frame until the next capture.
  xcb_get_image_reply_t* image_ = nullptr;
};

}  // namespace orvane
