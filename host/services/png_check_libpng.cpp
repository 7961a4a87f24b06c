#include <png.h>

#include <csetjmp>
#include <cstring>

#include "services/png_check.h"

namespace orvane {
namespace {

struct MemoryReader {
  const std::vector<uint8_t>* png;
  size_t offset;
};

void ReadFromMemory(png_structp png_ptr, png_bytep out, png_size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png_ptr));
  if (length > reader->png->size() - reader->offset) {
    png_error(png_ptr, "truncated");
  }
  std::memcpy(out, reader->png->data() + reader->offset, length);
  reader->offset += length;
}

// A payload that is no PNG is the client's mistake, reported once by the caller.
void QuietError(png_structp png_ptr, png_const_charp) {
  png_longjmp(png_ptr, 1);
}

void QuietWarning(png_structp, png_const_charp) {}

// Apart from the caller so that no object with a destructor lives across setjmp.
bool DecodeRows(png_structp png_ptr, png_infop info, std::vector<png_byte>& row) {
  if (setjmp(png_jmpbuf(png_ptr)) != 0) {
    return false;
  }
  png_read_info(png_ptr, info);
  const int passes = png_set_interlace_handling(png_ptr);
  png_read_update_info(png_ptr, info);
  row.resize(png_get_rowbytes(png_ptr, info));
  const png_uint_32 height = png_get_image_height(png_ptr, info);
  // Every row of every pass decoded into one buffer: a check, not a picture.
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png_ptr, row.data(), nullptr);
    }
  }
  png_read_end(png_ptr, nullptr);
  return true;
}

}  // namespace

bool PngDecodes(const std::vector<uint8_t>& png) {
  if (png.size() < 8 || png_sig_cmp(png.data(), 0, 8) != 0) {
    return false;
  }
  png_structp png_ptr =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
  if (png_ptr == nullptr) {
    return false;
  }
  png_infop info = png_create_info_struct(png_ptr);
  MemoryReader reader{&png, 0};
  std::vector<png_byte> row;
  bool decoded = false;
  if (info != nullptr) {
    png_set_read_fn(png_ptr, &reader, ReadFromMemory);
    decoded = DecodeRows(png_ptr, info, row);
  }
  png_destroy_read_struct(&png_ptr, info != nullptr ? &info : nullptr, nullptr);
  return decoded;
}

}  // namespace orvane
