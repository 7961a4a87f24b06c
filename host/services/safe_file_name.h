#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// The name a received file is stored under, made safe for both platforms' file systems:
// path separators, the characters Windows forbids in names, and control bytes become
// "_". nullopt when no name would stay a file inside the destination folder: "", "."
// and "..", a name of dots and spaces only (Windows drops trailing dots and spaces), and
// the names of Windows devices (CON, NUL, COM1, ... with or without an extension).
std::optional<std::string> SafeFileName(std::string_view requested);

}  // namespace orvane
