#include "client/cli/clipboard_files.h"

#include <fstream>
#include <string>

namespace orvane::client::cli {
namespace {

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

bool ClipboardFiles::Save(const orvane::protocol::v1::ClipboardUpdate& update) {
  const std::string stem = std::to_string(++saved_);
  bool written = true;
  if (!update.text().empty()) {
    written &= WriteFile(folder_ / (stem + ".txt"), update.text());
  }
  if (!update.image_data().empty()) {
    written &= WriteFile(folder_ / (stem + ".png"), update.image_data());
  }
  return written;
}

}  // namespace orvane::client::cli
