#include "client/frame_assembler.h"

#include <gtest/gtest.h>

namespace orvane::client {
namespace {

using Result = FrameAssembler::Result;

std::vector<uint8_t> Framed(const std::vector<uint8_t>& payload) {
  const auto n = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> frame = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                                static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

TEST(FrameAssemblerTest, FrameArrivingOneByteAtATimeIsAssembledOnce) {
  const std::vector<uint8_t> payload = {1, 2, 3, 4, 5};
  FrameAssembler assembler;
  std::vector<uint8_t> frame;
  const std::vector<uint8_t> bytes = Framed(payload);
  for (size_t i = 0; i < bytes.size(); ++i) {
    EXPECT_EQ(assembler.Next(frame), Result::kNeedMore) << i;
    assembler.Append(std::span(bytes).subspan(i, 1));
  }
  ASSERT_EQ(assembler.Next(frame), Result::kFrame);
  EXPECT_EQ(frame, payload);
  EXPECT_EQ(assembler.Next(frame), Result::kNeedMore);
}

TEST(FrameAssemblerTest, SeveralFramesInOneReadComeOutInOrder) {
  std::vector<uint8_t> bytes = Framed({7});
  const std::vector<uint8_t> second = Framed({8, 9});
  bytes.insert(bytes.end(), second.begin(), second.end());
  bytes.push_back(0);  // the start of a third header
  FrameAssembler assembler;
  assembler.Append(bytes);
  std::vector<uint8_t> frame;
  ASSERT_EQ(assembler.Next(frame), Result::kFrame);
  EXPECT_EQ(frame, std::vector<uint8_t>{7});
  ASSERT_EQ(assembler.Next(frame), Result::kFrame);
  EXPECT_EQ(frame, (std::vector<uint8_t>{8, 9}));
  EXPECT_EQ(assembler.Next(frame), Result::kNeedMore);
}

TEST(FrameAssemblerTest, LengthsOutsideOneToOneMebibyteBreakTheStream) {
  const std::pair<std::vector<uint8_t>, Result> cases[] = {
      {{0, 0, 0, 0}, Result::kBadLength},
      {{0x00, 0x10, 0x00, 0x01}, Result::kBadLength},  // 1 MiB + 1
      {{0xFF, 0xFF, 0xFF, 0xFF}, Result::kBadLength},
      {{0x00, 0x10, 0x00, 0x00}, Result::kNeedMore},  // 1 MiB is allowed; payload pending
  };
  for (const auto& [header, expected] : cases) {
    FrameAssembler assembler;
    assembler.Append(header);
    std::vector<uint8_t> frame;
    EXPECT_EQ(assembler.Next(frame), expected) << int(header[1]) << " " << int(header[3]);
  }
}

}  // namespace
}  // namespace orvane::client
