#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// Uncompressed formats an encoder transform may accept, in the order they are offered.
enum class EncoderInputFormat { kNv12, kArgb32, kRgb32 };

inline constexpr EncoderInputFormat kEncoderInputFormats[] = {
    EncoderInputFormat::kNv12, EncoderInputFormat::kArgb32, EncoderInputFormat::kRgb32};

// "NV12", "ARGB32", "RGB32": how the log names them.
const char* EncoderInputFormatName(EncoderInputFormat format);

// Bytes of one packed NV12 picture: the Y plane and half as much interleaved chroma.
size_t Nv12FrameSize(uint32_t width, uint32_t height);

// The BGRA frame as the encoder takes it, rows packed to width × 4 bytes: the capture
// memory itself when its rows are already packed, else a packed copy in `buffer`.
std::span<const uint8_t> PackedBgra(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                    uint32_t height, std::vector<uint8_t>& buffer);

// The BGRA frame converted on the CPU to packed NV12 in `buffer` (grown, never shrunk).
std::span<const uint8_t> CpuNv12(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                 uint32_t height, std::vector<uint8_t>& buffer);

// Packs a mapped NV12 surface whose rows are `pitch` bytes apart, with the chroma plane
// starting `height` rows after the luma plane, into `out`: height rows of width bytes,
// then height / 2 rows of width bytes.
void PackNv12Surface(const uint8_t* mapped, size_t pitch, uint32_t width, uint32_t height,
                     std::vector<uint8_t>& out);

// Media Foundation's clock counts 100-ns units.
constexpr int64_t SampleTimeFromMicros(uint64_t micros) {
  return static_cast<int64_t>(micros * 10);
}
constexpr uint64_t MicrosFromSampleTime(int64_t sample_time) {
  return static_cast<uint64_t>(sample_time / 10);
}
// One frame's duration at `fps`, from whole microseconds; 0 without a frame rate.
constexpr int64_t SampleDuration(uint32_t fps) {
  return fps == 0 ? 0 : static_cast<int64_t>(1000000 / fps) * 10;
}

}  // namespace orvane
