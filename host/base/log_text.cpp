#include "base/log_text.h"

#include <cstdio>

namespace orvane {

std::string EscapeForLog(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || byte == '\\') {
      char code[5];
      std::snprintf(code, sizeof(code), "\\x%02X", byte);
      escaped += code;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace orvane
