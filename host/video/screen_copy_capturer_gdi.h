#pragma once

#include <windows.h>

#include "video/screen_capturer.h"

namespace orvane {

// The last resort: the whole primary screen scaled into a top-down DIB section of the
// stream size with StretchBlt. Ignores the output index.
class GdiScreenCopyCapturer : public ScreenCapturer {
 public:
  GdiScreenCopyCapturer() = default;
  ~GdiScreenCopyCapturer() override { Release(); }
  GdiScreenCopyCapturer(const GdiScreenCopyCapturer&) = delete;
  GdiScreenCopyCapturer& operator=(const GdiScreenCopyCapturer&) = delete;

  const char* name() const override { return "gdi"; }
  const char* description() const override { return "GDI"; }
  bool last_resort() const override { return true; }

  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

 private:
  HDC screen_dc_ = nullptr;
  HDC memory_dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_bitmap_ = nullptr;
  uint8_t* bits_ = nullptr;
  uint32_t stride_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

}  // namespace orvane
