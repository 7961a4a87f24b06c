#pragma once

#include <memory>

#include "video/cursor_source.h"

namespace orvane {

// The system cursor of this platform's desktop; null when it cannot be read, and the
// host then streams without cursor updates.
std::unique_ptr<CursorSource> CreatePlatformCursorSource();

}  // namespace orvane
