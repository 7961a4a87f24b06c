#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// The machine's name as the OS reports it; empty when it cannot be read.
std::string ComputerName();

// Number of monitors attached to the desktop, or nothing when they cannot be counted.
std::optional<uint32_t> CountMonitors();

}  // namespace orvane
