#include "video/encoder_input.h"

#include <cstring>

#include "video/nv12_converter.h"

namespace orvane {

const char* EncoderInputFormatName(EncoderInputFormat format) {
  switch (format) {
    case EncoderInputFormat::kNv12:
      return "NV12";
    case EncoderInputFormat::kArgb32:
      return "ARGB32";
    case EncoderInputFormat::kRgb32:
      return "RGB32";
  }
  return "?";
}

size_t Nv12FrameSize(uint32_t width, uint32_t height) {
  const size_t luma = size_t{width} * height;
  return luma + luma / 2;
}

std::span<const uint8_t> PackedBgra(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                    uint32_t height, std::vector<uint8_t>& buffer) {
  const size_t row_bytes = size_t{width} * 4;
  if (row_pitch == row_bytes) {
    return {data, row_bytes * height};
  }
  buffer.resize(row_bytes * height);
  for (uint32_t y = 0; y < height; ++y) {
    std::memcpy(buffer.data() + y * row_bytes, data + size_t{y} * row_pitch, row_bytes);
  }
  return buffer;
}

std::span<const uint8_t> CpuNv12(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                 uint32_t height, std::vector<uint8_t>& buffer) {
  const size_t size = Nv12FrameSize(width, height);
  if (buffer.size() < size) {
    buffer.resize(size);
  }
  const size_t luma = size_t{width} * height;
  ConvertBgraToNv12(data, row_pitch, width, height,
                    {buffer.data(), width, buffer.data() + luma, width});
  return {buffer.data(), size};
}

void PackNv12Surface(const uint8_t* mapped, size_t pitch, uint32_t width, uint32_t height,
                     std::vector<uint8_t>& out) {
  out.resize(Nv12FrameSize(width, height));
  for (uint32_t y = 0; y < height; ++y) {
    std::memcpy(out.data() + size_t{y} * width, mapped + y * pitch, width);
  }
  if (height < 2) {
    return;
  }
  const uint8_t* chroma = mapped + height * pitch;
  uint8_t* chroma_out = out.data() + size_t{width} * height;
  for (uint32_t y = 0; y < height / 2; ++y) {
    std::memcpy(chroma_out + size_t{y} * width, chroma + y * pitch, width);
  }
}

}  // namespace orvane
