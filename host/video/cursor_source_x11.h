#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "video/cursor_source.h"
#include "video/x11_connection.h"

namespace orvane {

// The X server's cursor through XFixes. The pointer position is one QueryPointer round
// trip per poll; the image identity comes from XFixes cursor-change events, so the image
// itself is fetched only when it changed. X has no query for a hidden cursor, so the
// cursor always counts as visible.
class X11CursorSource : public CursorSource {
 public:
  // Its own connection to `display_name` ($DISPLAY when empty); nullptr when the server
  // cannot be reached or lacks XFixes 2.
  static std::unique_ptr<X11CursorSource> Open(const std::string& display_name);

  bool ReadPointer(CursorPointer& pointer) override;
  bool ReadImage(CursorImage& image) override;

 private:
  X11CursorSource() = default;

  X11Connection connection_;
  uint8_t cursor_notify_event_ = 0;
  uint64_t image_serial_ = 0;
};

}  // namespace orvane
