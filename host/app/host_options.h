#pragma once

#include <cstdint>

namespace orvane {

struct HostOptions {
  uint16_t control_port = 9430;
  uint16_t media_port = 9431;
  uint16_t input_port = 9432;
  uint32_t monitors = 1;
};

enum class CaptureBackendChoice : uint32_t { kAuto = 0, kDxgi = 1, kWgc = 2 };

// "dxgi", "wgc" or "auto", as the logs name the choice.
const char* CaptureBackendName(CaptureBackendChoice choice);

}  // namespace orvane
