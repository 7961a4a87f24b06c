#include "video/cursor_source_factory.h"

namespace orvane {

// The Windows cursor source (GetCursorInfo and icon bitmaps) comes with the Windows video
// backends; until then the host sends no cursor updates there.
std::unique_ptr<CursorSource> CreatePlatformCursorSource() {
  return nullptr;
}

}  // namespace orvane
