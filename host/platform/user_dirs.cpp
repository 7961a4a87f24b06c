#include "platform/user_dirs.h"

#include <string>

namespace orvane {
namespace {

constexpr std::string_view kKey = "XDG_DOWNLOAD_DIR=";
constexpr std::string_view kHome = "$HOME";

// The value between the double quotes of `quoted`, with backslash escapes undone;
// empty when it is not quoted or the quote is not closed.
std::string Unquote(std::string_view quoted) {
  std::string value;
  if (quoted.size() < 2 || quoted.front() != '"') {
    return value;
  }
  for (size_t i = 1; i < quoted.size(); ++i) {
    if (quoted[i] == '"') {
      return value;
    }
    if (quoted[i] == '\\' && i + 1 < quoted.size()) {
      ++i;
    }
    value += quoted[i];
  }
  return {};  // no closing quote
}

}  // namespace

std::filesystem::path DownloadDirFromUserDirs(std::string_view text,
                                              const std::filesystem::path& home) {
  std::filesystem::path found;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      line.remove_prefix(1);
    }
    if (line.substr(0, kKey.size()) != kKey) {
      continue;
    }
    const std::string value = Unquote(line.substr(kKey.size()));
    if (value.substr(0, kHome.size()) == kHome &&
        (value.size() == kHome.size() || value[kHome.size()] == '/')) {
      const std::string rest = value.substr(kHome.size());
      found = rest.size() <= 1 ? home : home / rest.substr(1);
    } else if (!value.empty() && value.front() == '/') {
      found = value;
    }
  }
  return found;
}

}  // namespace orvane
