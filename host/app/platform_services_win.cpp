#include "app/platform_services.h"

#include "input/input_sink_win.h"

namespace orvane {

// The Windows capturers, cursor and encoder are not built yet: selection finds no
// capture backend and a stream start reports that no encoder is available.
PlatformServices CreatePlatformServices() {
  PlatformServices services;
  services.input_sink = []() -> std::unique_ptr<InputSink> {
    return std::make_unique<WindowsInputSink>();
  };
  return services;
}

}  // namespace orvane
