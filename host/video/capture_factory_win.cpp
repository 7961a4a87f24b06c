#include "video/capture_factory.h"

namespace orvane {

// The Windows capturers (Desktop Duplication, Windows.Graphics.Capture, GDI) are not
// built yet; until they are, selection finds no backend and the frame loop keeps
// retrying.
ScreenCapturers CreatePlatformCapturers() {
  return {};
}

}  // namespace orvane
