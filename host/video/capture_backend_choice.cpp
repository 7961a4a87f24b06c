#include "video/capture_backend_choice.h"

#include <algorithm>
#include <cctype>

namespace orvane {

std::vector<CaptureSourceInfo> DescribeCaptureSources(const ScreenCapturers& sources) {
  std::vector<CaptureSourceInfo> infos;
  for (const auto& source : sources) {
    if (source != nullptr) {
      infos.push_back(
          {source->name(), source->tray_title(), source->last_resort(), source->available()});
    }
  }
  return infos;
}

std::string CaptureSourceChoice(const std::string& word,
                                const std::vector<CaptureSourceInfo>& sources) {
  std::string lower = word;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  // The X11 capture a user means is the shared-memory one; the other is a last resort.
  if (lower == "x11") {
    lower = "x11shm";
  }
  for (const CaptureSourceInfo& source : sources) {
    if (!source.last_resort && source.name == lower) {
      return lower;
    }
  }
  return kAutoCaptureSource;
}

}  // namespace orvane
