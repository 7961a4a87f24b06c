#pragma once

#include <memory>
#include <vector>

#include "video/screen_capturer.h"

namespace orvane {

// The platform's capture sources in preference order; last resorts come after every
// other source.
using ScreenCapturers = std::vector<std::unique_ptr<ScreenCapturer>>;

}  // namespace orvane
