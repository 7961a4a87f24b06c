#include "services/latin1_text.h"

#include <cstdint>

namespace orvane {

std::string Latin1ToUtf8(std::string_view latin1) {
  std::string utf8;
  utf8.reserve(latin1.size());
  for (const char c : latin1) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      utf8.push_back(c);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

std::string Utf8ToLatin1(std::string_view utf8) {
  std::string latin1;
  latin1.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    size_t length = 1;
    if (lead >= 0xF0 && lead < 0xF8) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = lead < 0xF0 ? 3 : 1;
    } else if (lead >= 0xC2) {
      length = 2;
    }
    bool whole = length > 1 && i + length <= utf8.size();
    for (size_t k = 1; whole && k < length; ++k) {
      whole = (static_cast<uint8_t>(utf8[i + k]) & 0xC0) == 0x80;
    }
    if (lead < 0x80) {
      latin1.push_back(static_cast<char>(lead));
    } else if (!whole) {
      latin1.push_back('?');
      i += 1;
      continue;
    } else if (length == 2 && lead <= 0xC3) {
      latin1.push_back(
          static_cast<char>(((lead & 0x1F) << 6) | (static_cast<uint8_t>(utf8[i + 1]) & 0x3F)));
    } else {
      latin1.push_back('?');
    }
    i += length;
  }
  return latin1;
}

}  // namespace orvane
