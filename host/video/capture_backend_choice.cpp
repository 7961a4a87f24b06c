#include "video/capture_backend_choice.h"

namespace orvane {

const char* CaptureBackendName(CaptureBackendChoice choice) {
  switch (choice) {
    case CaptureBackendChoice::kDuplication:
      return "dxgi";
    case CaptureBackendChoice::kGraphicsCapture:
      return "wgc";
    default:
      return "auto";
  }
}

}  // namespace orvane
