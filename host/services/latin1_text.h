#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The X selection's STRING type is ISO 8859-1, the host's text UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);
// Characters beyond U+00FF, and bytes that are not UTF-8, become '?'.
std::string Utf8ToLatin1(std::string_view utf8);

}  // namespace orvane
