#pragma once

#include <cstdint>

namespace orvane {

// The capture backend a user asked for; automatic selection otherwise.
enum class CaptureBackendChoice : uint32_t { kAuto = 0, kDuplication = 1, kGraphicsCapture = 2 };

// "dxgi", "wgc" or "auto", as the logs name the choice.
const char* CaptureBackendName(CaptureBackendChoice choice);

}  // namespace orvane
