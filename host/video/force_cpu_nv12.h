#pragma once

namespace orvane {

// The environment variable that keeps BGRA->NV12 conversion off the GPU.
inline constexpr char kForceCpuNv12Variable[] = "ORVANE_FORCE_CPU_NV12";

// Whether a value of that variable forces the CPU path: set, non-empty and not starting
// with '0'. A null value means the variable is unset.
bool ForceCpuNv12Requested(const char* value);

// The answer for this process: the variable is read on the first call only, so a
// stream restarted later keeps the path the first one chose.
bool ForceCpuNv12();

}  // namespace orvane
