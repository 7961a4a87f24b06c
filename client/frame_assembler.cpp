#include "client/frame_assembler.h"

#include "net/control_frame_codec.h"

namespace orvane::client {

void FrameAssembler::Append(std::span<const uint8_t> bytes) {
  buffered_.insert(buffered_.end(), bytes.begin(), bytes.end());
}

FrameAssembler::Result FrameAssembler::Next(std::vector<uint8_t>& frame) {
  if (buffered_.size() < kControlFrameHeaderSize) {
    return Result::kNeedMore;
  }
  const uint32_t length = DecodeControlFrameHeader(
      std::span<const uint8_t, kControlFrameHeaderSize>(buffered_.data(), kControlFrameHeaderSize));
  if (!IsValidControlFrameSize(length)) {
    return Result::kBadLength;
  }
  if (buffered_.size() - kControlFrameHeaderSize < length) {
    return Result::kNeedMore;
  }
  const auto begin = buffered_.begin() + kControlFrameHeaderSize;
  frame.assign(begin, begin + length);
  buffered_.erase(buffered_.begin(), begin + length);
  return Result::kFrame;
}

}  // namespace orvane::client
