#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace orvane {

// Bytes this user may still write on the volume of `folder`; nullopt when the file
// system cannot say.
std::optional<uint64_t> FreeDiskBytes(const std::filesystem::path& folder);

}  // namespace orvane
