#pragma once

#include <filesystem>
#include <string>

namespace orvane::testing {

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace orvane::testing
