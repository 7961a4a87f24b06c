#pragma once

#include <string>
#include <string_view>

namespace orvane {

// Text that came from the network, made safe to log: control characters (which could
// forge extra log lines or drive the terminal) become \xNN, and so does the backslash
// that would otherwise make such an escape ambiguous.
std::string EscapeForLog(std::string_view text);

}  // namespace orvane
