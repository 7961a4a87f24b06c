#pragma once

#include <string>
#include <vector>

#include "video/screen_capturers.h"

namespace orvane {

// The user's choice of capture source: a source's name, or this word for the list order.
inline constexpr const char* kAutoCaptureSource = "auto";

// What the tray and the command line need to know of one source, without its OS objects.
struct CaptureSourceInfo {
  std::string name;
  std::string tray_title;
  bool last_resort = false;
  bool available = true;
};

std::vector<CaptureSourceInfo> DescribeCaptureSources(const ScreenCapturers& sources);

// `word` (any case) when it names a source a user may choose (any but a last resort),
// "x11shm" for "x11", otherwise "auto".
std::string CaptureSourceChoice(const std::string& word,
                                const std::vector<CaptureSourceInfo>& sources);

}  // namespace orvane
