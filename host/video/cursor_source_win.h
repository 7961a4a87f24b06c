#pragma once

#include <windows.h>

#include "video/cursor_source.h"

namespace orvane {

// The system cursor through GetCursorInfo; a cursor handle identifies its image, and the
// image is read from the icon's colour and mask bitmaps.
class WinCursorSource : public CursorSource {
 public:
  bool ReadPointer(CursorPointer& pointer) override;
  // Reads the cursor of the last ReadPointer.
  bool ReadImage(CursorImage& image) override;

 private:
  HCURSOR cursor_ = nullptr;
};

// The shape name of a cursor handle, by comparison with the shared system cursors.
std::string CursorShapeName(HCURSOR cursor);

}  // namespace orvane
