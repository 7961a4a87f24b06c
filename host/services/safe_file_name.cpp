#include "services/safe_file_name.h"

#include <array>
#include <cctype>

namespace orvane {
namespace {

bool Replaced(unsigned char byte) {
  if (byte < 0x20 || byte == 0x7F) {
    return true;
  }
  switch (byte) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
      return true;
    default:
      return false;
  }
}

bool OnlyDotsAndSpaces(std::string_view name) {
  return name.find_first_not_of(". ") == std::string_view::npos;
}

// Windows opens the device, not a file, for these base names whatever the extension.
bool NamesDevice(std::string_view name) {
  static constexpr std::array<std::string_view, 22> kDevices = {
      "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
      "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') {
    base.remove_suffix(1);
  }
  for (const std::string_view device : kDevices) {
    if (base.size() == device.size()) {
      bool same = true;
      for (size_t i = 0; i < base.size() && same; ++i) {
        same = std::toupper(static_cast<unsigned char>(base[i])) == device[i];
      }
      if (same) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> SafeFileName(std::string_view requested) {
  if (OnlyDotsAndSpaces(requested) || NamesDevice(requested)) {
    return std::nullopt;
  }
  std::string name(requested);
  for (char& byte : name) {
    if (Replaced(static_cast<unsigned char>(byte))) {
      byte = '_';
    }
  }
  return name;
}

}  // namespace orvane
