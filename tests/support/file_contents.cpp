#include "support/file_contents.h"

#include <fstream>
#include <sstream>

namespace orvane::testing {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace orvane::testing
