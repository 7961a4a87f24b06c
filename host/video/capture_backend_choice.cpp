#include "video/capture_backend_choice.h"

namespace orvane {

const char* CaptureBackendName(CaptureBackendChoice choice) {
  switch (choice) {
    case CaptureBackendChoice::kDxgi:
      return "dxgi";
    case CaptureBackendChoice::kWgc:
      return "wgc";
    default:
      return "auto";
  }
}

}  // namespace orvane
