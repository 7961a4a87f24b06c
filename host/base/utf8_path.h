#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvane {

// The host keeps text, names from the network and log lines in UTF-8. A path built from a
// plain std::string is read in the system's narrow encoding on Windows, which turns
// "Jürgen" into "JÃ¼rgen"; these say the encoding outright.

// The path named by UTF-8 text. Bytes that are not valid UTF-8 become U+FFFD, so a name
// from the network can neither fail the conversion nor name two files alike.
std::filesystem::path PathFromUtf8(std::string_view text);

// The path as UTF-8 text, for logs and messages.
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace orvane
