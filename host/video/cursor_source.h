#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// Where the system pointer is, read on every poll, so it must be cheap.
struct CursorPointer {
  // Virtual-desktop coordinates, whatever output is captured.
  int32_t x = 0;
  int32_t y = 0;
  bool visible = true;
  // Identifies the cursor image: equal values mean the same image.
  uint64_t image_id = 0;
};

// The current cursor image, read only when its identity changes.
struct CursorImage {
  // A CursorUpdate shape name ("arrow", "text", ..., "custom").
  std::string shape;
  int32_t hotspot_x = 0;
  int32_t hotspot_y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  // width × height pixels, rows top-down, each B, G, R, A (alpha-premultiplied).
  std::vector<uint8_t> bgra;
};

// The platform's view of the system cursor.
class CursorSource {
 public:
  virtual ~CursorSource() = default;

  // False when the system cannot say where the pointer is.
  virtual bool ReadPointer(CursorPointer& pointer) = 0;
  // Fills the shape in any case; false when the image itself could not be read.
  virtual bool ReadImage(CursorImage& image) = 0;
};

}  // namespace orvane
