#include "client/frame_assembler.h"

namespace orvane::client {
namespace {

constexpr size_t kHeaderSize = 4;

}  // namespace

void FrameAssembler::Append(std::span<const uint8_t> bytes) {
  buffered_.insert(buffered_.end(), bytes.begin(), bytes.end());
}

FrameAssembler::Result FrameAssembler::Next(std::vector<uint8_t>& frame) {
  if (buffered_.size() < kHeaderSize) {
    return Result::kNeedMore;
  }
  const uint32_t length = (static_cast<uint32_t>(buffered_[0]) << 24) |
                          (static_cast<uint32_t>(buffered_[1]) << 16) |
                          (static_cast<uint32_t>(buffered_[2]) << 8) | buffered_[3];
  if (length == 0 || length > kMaxFrameSize) {
    return Result::kBadLength;
  }
  if (buffered_.size() - kHeaderSize < length) {
    return Result::kNeedMore;
  }
  const auto begin = buffered_.begin() + kHeaderSize;
  frame.assign(begin, begin + length);
  buffered_.erase(buffered_.begin(), begin + length);
  return Result::kFrame;
}

}  // namespace orvane::client
