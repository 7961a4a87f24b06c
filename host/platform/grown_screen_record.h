#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/extend_placement.h"

namespace orvane {

// What the host changed when it grew a display's screen for its extended monitor, kept in
// a file until it has put the screen back. A host that was killed cannot put it back; the
// next host that finds its monitor left behind takes the record over and does.
struct GrownScreen {
  std::string display;  // the display's name, as DISPLAY gives it
  PixelSize old_pixels;
  PixelSize old_millimetres;
  PixelSize grown_pixels;

  bool operator==(const GrownScreen&) const = default;
};

std::string FormatGrownScreen(const GrownScreen& record);
// Nothing for a text that is not one record (the file is the user's to break).
std::optional<GrownScreen> ParseGrownScreen(const std::string& text);

// The file in `folder`, read, written and removed; failures leave the screen as it is.
std::optional<GrownScreen> ReadGrownScreen(const std::filesystem::path& folder);
void WriteGrownScreen(const std::filesystem::path& folder, const GrownScreen& record);
void ForgetGrownScreen(const std::filesystem::path& folder);

}  // namespace orvane
