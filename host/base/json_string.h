#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The text of a JSON string value without its quotes: quote, backslash and control bytes
// escaped; everything else, UTF-8 included, passes through.
std::string EscapeJsonString(std::string_view text);

// Reverses EscapeJsonString. A backslash that does not start a valid escape is kept as it
// stands, so values written before escaping existed read back unchanged.
std::string UnescapeJsonString(std::string_view text);

// Position of the quote that closes a JSON string whose text starts at `start` (a quote
// after a backslash does not close it); npos when there is none.
size_t FindClosingQuote(std::string_view text, size_t start);

}  // namespace orvane
