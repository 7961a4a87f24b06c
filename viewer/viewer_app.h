#pragma once

#include "viewer/viewer_options.h"

namespace orvane::viewer {

// Opens the window and runs the viewer until it is closed (or --seconds pass); false
// when it could not start, or the host refused this device.
bool RunViewer(const ViewerOptions& options);

}  // namespace orvane::viewer
