#pragma once

#include <windows.h>

#include <cstdint>

namespace orvane {

// The monitor at `index` in EnumDisplayMonitors order, or null. Every capture source and
// the input mapping number monitors this way, so one index means one monitor.
HMONITOR MonitorAtIndex(uint32_t index);

}  // namespace orvane
