#pragma once

#include <cstdint>
#include <memory>

#include "platform/x11/x11_display_source.h"
#include "video/cursor_source.h"

namespace orvane {

// The X server's cursor through XFixes. The pointer position is one QueryPointer round
// trip per poll; the image identity comes from XFixes cursor-change events, so the image
// itself is fetched only when it changed. X has no query for a hidden cursor, so the
// cursor always counts as visible.
class X11CursorSource : public CursorSource {
 public:
  // nullptr when the server cannot be reached or lacks XFixes 2.
  static std::unique_ptr<X11CursorSource> Open(X11DisplaySource& displays);

  bool ReadPointer(CursorPointer& pointer) override;
  bool ReadImage(CursorImage& image) override;

 private:
  X11CursorSource() = default;

  std::shared_ptr<X11Display> x11_;
  std::shared_ptr<X11EventQueue> cursor_changes_;
  uint64_t image_serial_ = 0;
};

}  // namespace orvane
