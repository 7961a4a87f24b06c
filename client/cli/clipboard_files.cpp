#include "client/cli/clipboard_files.h"

#include <fstream>
#include <string>

namespace orvane::client::cli {
namespace {

// Under a temporary name first, so that whoever watches the folder sees only whole files.
bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path partial = path;
  partial += ".part";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
  return !error;
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
