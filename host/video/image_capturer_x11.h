#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

#include "platform/x11/x11_display_source.h"
#include "video/screen_capturer.h"

namespace orvane {

// The last resort: a plain GetImage of the whole screen through the X connection, with
// no shared memory and no change tracking. The capture backend scales the image to the
// stream size.
class X11ImageCapturer final : public ScreenCapturer {
 public:
  explicit X11ImageCapturer(std::shared_ptr<X11DisplaySource> displays);
  ~X11ImageCapturer() override;

  const char* name() const override { return "x11image"; }
  const char* description() const override { return "X11 GetImage"; }
  bool last_resort() const override { return true; }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

 private:
  const std::shared_ptr<X11DisplaySource> displays_;
  std::shared_ptr<X11Display> x11_;  // held while initialised
  // Holds the pixels of the last frame until the next capture.
  xcb_get_image_reply_t* image_ = nullptr;
};

}  // namespace orvane
