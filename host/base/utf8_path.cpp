#include "base/utf8_path.h"

#include <cstdint>

namespace orvane {
namespace {

constexpr char8_t kReplacement[] = u8"\uFFFD";

// Length of the well-formed UTF-8 sequence at the start of `text` (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
size_t SequenceLength(std::u8string_view text) {
  const uint8_t lead = text[0];
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    const uint8_t byte = text[i];
    if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) {
      return 0;
    }
  }
  return length;
}

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view text) {
  std::u8string_view bytes(reinterpret_cast<const char8_t*>(text.data()), text.size());
  std::u8string valid;
  valid.reserve(bytes.size());
  while (!bytes.empty()) {
    const size_t length = SequenceLength(bytes);
    if (length == 0) {
      valid += kReplacement;
      bytes.remove_prefix(1);
    } else {
      valid.append(bytes.substr(0, length));
      bytes.remove_prefix(length);
    }
  }
  return std::filesystem::path(valid);
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace orvane
