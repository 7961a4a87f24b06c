#pragma once

#include <string>

namespace orvane {

// The client's latest ClipboardUpdate, waiting to be written to the computer's clipboard.
struct PendingClipboard {
  std::string text;
  std::string image_data;  // PNG file bytes
  std::string mime_type;
};

}  // namespace orvane
