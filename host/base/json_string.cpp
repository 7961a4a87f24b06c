#include "base/json_string.h"

#include <cstdio>
#include <optional>

namespace orvane {
namespace {

std::optional<uint32_t> ParseHex4(std::string_view text, size_t at) {
  if (at + 4 > text.size()) {
    return std::nullopt;
  }
  uint32_t value = 0;
  for (size_t i = at; i < at + 4; ++i) {
    const char c = text[i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = (value << 4) | digit;
  }
  return value;
}

void AppendUtf8(uint32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// Decodes the \uXXXX escape at `at` (a surrogate pair takes two); returns the number of
// characters consumed, or 0 when it is not a valid escape.
size_t DecodeUnicodeEscape(std::string_view text, size_t at, std::string& out) {
  const std::optional<uint32_t> unit = ParseHex4(text, at + 2);
  if (!unit || (*unit >= 0xDC00 && *unit <= 0xDFFF)) {
    return 0;
  }
  if (*unit < 0xD800 || *unit > 0xDBFF) {
    AppendUtf8(*unit, out);
    return 6;
  }
  if (text.substr(at + 6, 2) != "\\u") {
    return 0;
  }
  const std::optional<uint32_t> low = ParseHex4(text, at + 8);
  if (!low || *low < 0xDC00 || *low > 0xDFFF) {
    return 0;
  }
  AppendUtf8(0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00), out);
  return 12;
}

char SimpleEscape(char c) {
  switch (c) {
    case '"':
      return '"';
    case '\\':
      return '\\';
    case '/':
      return '/';
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return 0;
  }
}

}  // namespace

std::string EscapeJsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[7];
          std::snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string UnescapeJsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out.push_back(text[i++]);
      continue;
    }
    if (text[i + 1] == 'u') {
      const size_t consumed = DecodeUnicodeEscape(text, i, out);
      if (consumed > 0) {
        i += consumed;
        continue;
      }
    } else if (const char simple = SimpleEscape(text[i + 1]); simple != 0) {
      out.push_back(simple);
      i += 2;
      continue;
    }
    out.push_back(text[i++]);
  }
  return out;
}

size_t FindClosingQuote(std::string_view text, size_t start) {
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace orvane
