#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// What the clipboard holds, as the host exchanges it with the client: Unicode text as
// UTF-8 and an image as PNG file bytes.
struct ClipboardData {
  std::string text;
  std::vector<uint8_t> image;
  std::string mime_type;  // "image/png" when an image is present, else empty
  bool has_text = false;
  bool has_image = false;

  bool operator==(const ClipboardData&) const = default;
};

inline constexpr char kPngMimeType[] = "image/png";

}  // namespace orvane
