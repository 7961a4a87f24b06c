#include "video/cursor_source_factory.h"

#include "video/cursor_source_x11.h"

namespace orvane {

std::unique_ptr<CursorSource> CreatePlatformCursorSource() {
  return X11CursorSource::Open("");
}

}  // namespace orvane
