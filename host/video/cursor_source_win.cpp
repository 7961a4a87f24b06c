#include "video/cursor_source_win.h"

#include <vector>

#include "video/cursor_bitmap.h"
#include "video/cursor_shape_name.h"

namespace orvane {
namespace {

// A bitmap's rows top-down as GetDIBits gives them at `bits_per_pixel` (32 or 1).
bool ReadDibRows(HDC dc, HBITMAP bitmap, uint32_t width, uint32_t rows, uint16_t bits_per_pixel,
                 std::vector<uint8_t>& out, size_t& stride) {
  // Room for the two palette entries a 1-bit DIB comes with.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD palette[2];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = static_cast<LONG>(width);
  info.header.biHeight = -static_cast<LONG>(rows);
  info.header.biPlanes = 1;
  info.header.biBitCount = bits_per_pixel;
  info.header.biCompression = BI_RGB;
  stride = ((size_t{width} * bits_per_pixel + 31) / 32) * 4;
  out.assign(stride * rows, 0);
  return GetDIBits(dc, bitmap, 0, rows, out.data(), reinterpret_cast<BITMAPINFO*>(&info),
                   DIB_RGB_COLORS) == static_cast<int>(rows);
}

bool ReadCursorPixels(const ICONINFO& icon, CursorImage& image) {
  BITMAP description{};
  if (icon.hbmColor != nullptr) {
    if (GetObjectA(icon.hbmColor, sizeof(description), &description) == 0) {
      return false;
    }
    image.width = static_cast<uint32_t>(description.bmWidth);
    image.height = static_cast<uint32_t>(description.bmHeight);
  } else if (icon.hbmMask != nullptr) {
    if (GetObjectA(icon.hbmMask, sizeof(description), &description) == 0) {
      return false;
    }
    // The AND and XOR halves stacked.
    image.width = static_cast<uint32_t>(description.bmWidth);
    image.height = static_cast<uint32_t>(description.bmHeight) / 2;
  } else {
    return false;
  }
  if (image.width == 0 || image.height == 0 || icon.hbmMask == nullptr) {
    return false;
  }
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) {
    return false;
  }
  std::vector<uint8_t> colour;
  std::vector<uint8_t> mask;
  size_t colour_stride = 0;
  size_t mask_stride = 0;
  const bool monochrome = icon.hbmColor == nullptr;
  bool read = ReadDibRows(screen, icon.hbmMask, image.width,
                          monochrome ? image.height * 2 : image.height, 1, mask, mask_stride);
  if (read && !monochrome) {
    read = ReadDibRows(screen, icon.hbmColor, image.width, image.height, 32, colour, colour_stride);
  }
  ReleaseDC(nullptr, screen);
  if (!read) {
    return false;
  }
  image.bgra = CursorPixelsFromBits({image.width, image.height, colour, mask, mask_stride});
  return !image.bgra.empty();
}

}  // namespace

std::string CursorShapeName(HCURSOR cursor) {
  for (const uint16_t id : SystemCursorIds()) {
    if (cursor != nullptr && cursor == LoadCursorW(nullptr, MAKEINTRESOURCEW(id))) {
      return CursorShapeFromSystemCursorId(id);
    }
  }
  return "custom";
}

bool WinCursorSource::ReadPointer(CursorPointer& pointer) {
  CURSORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetCursorInfo(&info)) {
    return false;
  }
  pointer.x = info.ptScreenPos.x;
  pointer.y = info.ptScreenPos.y;
  pointer.visible = (info.flags & CURSOR_SHOWING) != 0;
  pointer.image_id = reinterpret_cast<uintptr_t>(info.hCursor);
  cursor_ = info.hCursor;
  return true;
}

bool WinCursorSource::ReadImage(CursorImage& image) {
  image.shape = CursorShapeName(cursor_);
  ICONINFO icon{};
  if (cursor_ == nullptr || !GetIconInfo(cursor_, &icon)) {
    return false;
  }
  image.hotspot_x = static_cast<int32_t>(icon.xHotspot);
  image.hotspot_y = static_cast<int32_t>(icon.yHotspot);
  const bool read = ReadCursorPixels(icon, image);
  if (icon.hbmColor != nullptr) {
    DeleteObject(icon.hbmColor);
  }
  if (icon.hbmMask != nullptr) {
    DeleteObject(icon.hbmMask);
  }
  return read;
}

}  // namespace orvane
