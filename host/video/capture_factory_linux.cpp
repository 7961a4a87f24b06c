#include "video/capture_factory.h"
#include "video/x11_image_capturer.h"
#include "video/x11_shm_capturer.h"

namespace orvane {

ScreenCapturers CreatePlatformCapturers() {
  ScreenCapturers capturers;
  capturers.duplication = std::make_unique<X11ShmCapturer>();
  capturers.screen_copy = std::make_unique<X11ImageCapturer>();
  return capturers;
}

}  // namespace orvane
