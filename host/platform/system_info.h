#pragma once

#include <string>

namespace orvane {

// The machine's name as the OS reports it; empty when it cannot be read.
std::string ComputerName();

}  // namespace orvane
