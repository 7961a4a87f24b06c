#pragma once

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/x11/x11_display_source.h"
#include "video/damage_copy.h"
#include "video/screen_capturer.h"

namespace orvane {

// Captures one XRandR monitor through a MIT-SHM segment the server writes into. DAMAGE
// tells what changed since the last image: an idle desktop costs no copy, and a small
// change costs a copy and an NV12 conversion of the changed rectangles only, applied to
// the image and NV12 picture kept from the frame before. A RandR change of the screen or
// a lost connection invalidates the capturer.
class X11ShmCapturer final : public ScreenCapturer {
 public:
  explicit X11ShmCapturer(std::shared_ptr<X11DisplaySource> displays);
  ~X11ShmCapturer() override;

  const char* name() const override { return "x11shm"; }
  const char* description() const override { return "X11 MIT-SHM"; }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

  // What the last ready frame cost besides the server's copy, for the pipeline benchmark:
  // the time spent converting to NV12 and the pixels converted.
  uint64_t last_conversion_us() const { return last_conversion_us_; }
  uint64_t last_converted_pixels() const { return last_converted_pixels_; }

 private:
  struct Area {
    int16_t x = 0;
    int16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
  };

  bool CheckExtensions();
  bool FindMonitor(uint32_t output_index);
  bool AttachSegment();
  void Note(const xcb_generic_event_t& event);
  void DrainEvents();
  void WaitForEvents(uint32_t wait_ms);
  // The damaged rectangles since the last image, in screen coordinates; the damage is
  // cleared. None when the server's answer did not come.
  std::optional<std::vector<ScreenRect>> TakeDamage();
  // Brings the kept image and its NV12 picture up to date; false on an X error.
  bool CopyWhole();
  bool CopyRects(const std::vector<PixelRect>& rects);
  bool CheckReply(xcb_shm_get_image_reply_t* reply, xcb_generic_error_t* error);

  const std::shared_ptr<X11DisplaySource> displays_;
  std::shared_ptr<X11Display> x11_;  // held while initialised
  std::shared_ptr<X11EventQueue> events_;
  Area monitor_;
  uint8_t damage_first_event_ = 0;
  uint8_t randr_first_event_ = 0;
  xcb_damage_damage_t damage_ = XCB_NONE;
  // Receives the changed rectangles of the damage.
  xcb_xfixes_region_t damage_region_ = XCB_NONE;
  xcb_shm_seg_t segment_ = XCB_NONE;
  // The segment holds the monitor's image (pixels_size_ bytes), then as much room again
  // where the server puts changed rectangles, packed, before they are copied into place.
  uint8_t* pixels_ = nullptr;
  size_t pixels_size_ = 0;
  std::vector<uint8_t> nv12_;
  // The image and nv12_ hold a complete earlier frame, so rectangles can update them.
  bool have_image_ = false;
  uint64_t last_conversion_us_ = 0;
  uint64_t last_converted_pixels_ = 0;
  // Something may have changed since the last image (always true before the first).
  bool damaged_ = false;
  bool screen_changed_ = false;
};

}  // namespace orvane
