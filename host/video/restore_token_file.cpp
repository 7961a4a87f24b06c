#include "video/restore_token_file.h"

#include <fstream>
#include <system_error>

namespace orvane {
namespace {

constexpr size_t kLongestToken = 512;

}  // namespace

bool PlausibleRestoreToken(const std::string& token) {
  if (token.empty() || token.size() > kLongestToken) {
    return false;
  }
  for (const char c : token) {
    if (c <= ' ' || c > '~') {
      return false;
    }
  }
  return true;
}

std::string ReadRestoreToken(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return {};
  }
  std::string text;
  // One more than a token may hold: a longer file is not a token.
  text.resize(kLongestToken + 2);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  return PlausibleRestoreToken(text) ? text : std::string();
}

bool WriteRestoreToken(const std::filesystem::path& file, const std::string& token) {
  std::error_code error;
  if (token.empty()) {
    std::filesystem::remove(file, error);
    return !error;
  }
  if (!PlausibleRestoreToken(token)) {
    return false;
  }
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << token << '\n';
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, error);
      return false;
    }
  }
  std::filesystem::rename(temporary, file, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

}  // namespace orvane
