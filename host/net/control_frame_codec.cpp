#include "net/control_frame_codec.h"

#include "base/byte_order.h"

namespace orvane {

ControlFrameHeader EncodeControlFrameHeader(uint32_t size) {
  ControlFrameHeader header;
  StoreBigEndian32(size, header.data());
  return header;
}

uint32_t DecodeControlFrameHeader(std::span<const uint8_t, kControlFrameHeaderSize> header) {
  return LoadBigEndian32(header.data());
}

bool IsValidControlFrameSize(uint32_t size) {
  return size >= 1 && size <= kMaxControlFrameSize;
}

}  // namespace orvane
