#pragma once

#include <cstdio>
#include <filesystem>

namespace orvane {

// std::fopen for any path: on Windows a narrow name passes through the ANSI code page,
// which has no letters for most of the world's user names.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

}  // namespace orvane
