#include "platform/grown_screen_record.h"

#include <fstream>
#include <sstream>

namespace orvane {
namespace {

constexpr char kFileName[] = "extended_screen.txt";

}  // namespace

std::string FormatGrownScreen(const GrownScreen& record) {
  std::ostringstream text;
  text << record.display << ' ' << record.old_pixels.width << ' ' << record.old_pixels.height << ' '
       << record.old_millimetres.width << ' ' << record.old_millimetres.height << ' '
       << record.grown_pixels.width << ' ' << record.grown_pixels.height << '\n';
  return text.str();
}

std::optional<GrownScreen> ParseGrownScreen(const std::string& text) {
  std::istringstream in(text);
  GrownScreen record;
  long long numbers[6] = {};
  in >> record.display;
  for (long long& number : numbers) {
    if (!(in >> number) || number < 0 || number > 32767) {
      return std::nullopt;
    }
  }
  std::string rest;
  if (record.display.empty() || (in >> rest)) {
    return std::nullopt;
  }
  const auto size = [&numbers](int first) {
    return PixelSize{static_cast<uint32_t>(numbers[first]),
                     static_cast<uint32_t>(numbers[first + 1])};
  };
  record.old_pixels = size(0);
  record.old_millimetres = size(2);
  record.grown_pixels = size(4);
  return record;
}

std::optional<GrownScreen> ReadGrownScreen(const std::filesystem::path& folder) {
  std::ifstream file(folder / kFileName);
  if (!file) {
    return std::nullopt;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return ParseGrownScreen(text.str());
}

void WriteGrownScreen(const std::filesystem::path& folder, const GrownScreen& record) {
  std::ofstream(folder / kFileName) << FormatGrownScreen(record);
}

void ForgetGrownScreen(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::remove(folder / kFileName, error);
}

}  // namespace orvane
