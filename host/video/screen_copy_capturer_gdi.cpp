#include "video/screen_copy_capturer_gdi.h"

namespace orvane {

bool GdiScreenCopyCapturer::Initialize(uint32_t /*output_index*/, uint32_t width, uint32_t height) {
  Release();
  width_ = width;
  height_ = height;
  stride_ = width * 4;
  screen_dc_ = GetDC(nullptr);
  if (screen_dc_ != nullptr) {
    memory_dc_ = CreateCompatibleDC(screen_dc_);
  }
  if (memory_dc_ != nullptr) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(screen_dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint8_t*>(bits);
  }
  if (bitmap_ != nullptr && bits_ != nullptr) {
    previous_bitmap_ = SelectObject(memory_dc_, bitmap_);
  }
  if (previous_bitmap_ == nullptr || previous_bitmap_ == HGDI_ERROR) {
    previous_bitmap_ = nullptr;
    Release();
    return false;
  }
  return true;
}

CapturedFrame GdiScreenCopyCapturer::Capture(uint32_t /*wait_ms*/) {
  CapturedFrame frame;
  if (screen_dc_ == nullptr || memory_dc_ == nullptr || bits_ == nullptr) {
    return frame;
  }
  const int screen_width = GetSystemMetrics(SM_CXSCREEN);
  const int screen_height = GetSystemMetrics(SM_CYSCREEN);
  if (screen_width <= 0 || screen_height <= 0) {
    return frame;
  }
  if (!StretchBlt(memory_dc_, 0, 0, static_cast<int>(width_), static_cast<int>(height_), screen_dc_,
                  0, 0, screen_width, screen_height, SRCCOPY | CAPTUREBLT)) {
    return frame;
  }
  // The copy may still sit in GDI's batch; the bits are read directly.
  GdiFlush();
  frame.status = CaptureStatus::kFrameReady;
  frame.data = bits_;
  frame.row_pitch = stride_;
  frame.width = width_;
  frame.height = height_;
  frame.data_size = size_t{stride_} * height_;
  return frame;
}

void GdiScreenCopyCapturer::Release() {
  if (memory_dc_ != nullptr && previous_bitmap_ != nullptr) {
    SelectObject(memory_dc_, previous_bitmap_);
  }
  if (bitmap_ != nullptr) {
    DeleteObject(bitmap_);
  }
  if (memory_dc_ != nullptr) {
    DeleteDC(memory_dc_);
  }
  if (screen_dc_ != nullptr) {
    ReleaseDC(nullptr, screen_dc_);
  }
  screen_dc_ = nullptr;
  memory_dc_ = nullptr;
  bitmap_ = nullptr;
  previous_bitmap_ = nullptr;
  bits_ = nullptr;
  stride_ = width_ = height_ = 0;
}

}  // namespace orvane
