#include "services/png_bitmap_gdiplus.h"

// clang-format off
#include <objbase.h>
#include <gdiplus.h>
// clang-format on

#include <cstring>
#include <memory>

#include "platform/com_ref_win.h"

namespace orvane {
namespace {

namespace gdip = Gdiplus::DllExports;

// Started on first use, once per process, and shut down when the process ends.
class GdiplusSession {
 public:
  static bool Started() {
    static GdiplusSession session;
    return session.started_;
  }

 private:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, no suppression
    started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (started_) {
      Gdiplus::GdiplusShutdown(token_);
    }
  }

  ULONG_PTR token_ = 0;
  bool started_ = false;
};

bool PngEncoder(CLSID& encoder) {
  UINT count = 0;
  UINT size = 0;
  if (gdip::GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) {
    return false;
  }
  std::unique_ptr<uint8_t[]> storage(new uint8_t[size]);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.get());
  if (gdip::GdipGetImageEncoders(count, size, encoders) != Gdiplus::Ok) {
    return false;
  }
  for (UINT i = 0; i < count; ++i) {
    if (encoders[i].MimeType != nullptr && std::wcscmp(encoders[i].MimeType, L"image/png") == 0) {
      encoder = encoders[i].Clsid;
      return true;
    }
  }
  return false;
}

bool SaveAsPng(Gdiplus::GpBitmap* bitmap, std::vector<uint8_t>& out) {
  CLSID encoder;
  if (!PngEncoder(encoder)) {
    return false;
  }
  ComRef<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())) ||
      gdip::GdipSaveImageToStream(bitmap, stream.get(), &encoder, nullptr) != Gdiplus::Ok) {
    return false;
  }
  HGLOBAL memory = nullptr;
  if (FAILED(GetHGlobalFromStream(stream.get(), &memory))) {
    return false;
  }
  const SIZE_T size = GlobalSize(memory);
  const void* bytes = GlobalLock(memory);
  if (bytes == nullptr) {
    return false;
  }
  out.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
  GlobalUnlock(memory);
  return !out.empty();
}

}  // namespace

bool EncodeBitmapAsPng(HBITMAP bitmap, std::vector<uint8_t>& out) {
  if (bitmap == nullptr || !GdiplusSession::Started()) {
    return false;
  }
  Gdiplus::GpBitmap* image = nullptr;
  if (gdip::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) != Gdiplus::Ok) {
    return false;
  }
  const bool saved = SaveAsPng(image, out);
  gdip::GdipDisposeImage(image);
  return saved;
}

HBITMAP DecodePngAsBitmap(const std::vector<uint8_t>& png) {
  if (png.empty() || !GdiplusSession::Started()) {
    return nullptr;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, png.size());
  void* bytes = memory != nullptr ? GlobalLock(memory) : nullptr;
  if (bytes == nullptr) {
    if (memory != nullptr) {
      GlobalFree(memory);
    }
    return nullptr;
  }
  std::memcpy(bytes, png.data(), png.size());
  GlobalUnlock(memory);
  Gdiplus::GpBitmap* image = nullptr;
  {
    ComRef<IStream> stream;
    // The stream frees the memory when it goes.
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.Put()))) {
      GlobalFree(memory);
      return nullptr;
    }
    if (gdip::GdipCreateBitmapFromStream(stream.get(), &image) != Gdiplus::Ok) {
      image = nullptr;
    }
  }
  HBITMAP bitmap = nullptr;
  if (image != nullptr) {
    if (gdip::GdipCreateHBITMAPFromBitmap(image, &bitmap, 0xFFFFFFFF) != Gdiplus::Ok) {
      bitmap = nullptr;
    }
    gdip::GdipDisposeImage(image);
  }
  return bitmap;
}

}  // namespace orvane
