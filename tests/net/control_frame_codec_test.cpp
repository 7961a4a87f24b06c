#include "net/control_frame_codec.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace orvane {
namespace {

TEST(ControlFrameCodecTest, HeaderIsTheLengthBigEndian) {
  struct Case {
    uint32_t size;
    ControlFrameHeader bytes;
  };
  const Case cases[] = {
      {0x01020304, {0x01, 0x02, 0x03, 0x04}},
      {1, {0x00, 0x00, 0x00, 0x01}},
      {1048576, {0x00, 0x10, 0x00, 0x00}},
      {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}},  // written as asked: senders do not check
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeControlFrameHeader(c.size), c.bytes) << c.size;
    EXPECT_EQ(DecodeControlFrameHeader(c.bytes), c.size) << c.size;
  }
}

TEST(ControlFrameCodecTest, ReceivedLengthsRunFromOneByteToOneMebibyte) {
  struct Case {
    uint32_t size;
    bool valid;
  };
  for (const Case c : {Case{0, false}, Case{1, true}, Case{1048576, true}, Case{1048577, false},
                       Case{0xFFFFFFFF, false}}) {
    EXPECT_EQ(IsValidControlFrameSize(c.size), c.valid) << c.size;
  }
}

}  // namespace
}  // namespace orvane
