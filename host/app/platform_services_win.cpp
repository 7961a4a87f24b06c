#include "app/platform_services.h"

namespace orvane {

// The Windows capturers, cursor, encoder and injector are not built yet: selection finds
// no capture backend and a stream start reports that no encoder is available.
PlatformServices CreatePlatformServices() {
  return {};
}

bool OffersGraphicsCapture() {
  return true;
}

}  // namespace orvane
