#include "video/frame_rotation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "video/letter_pixels.h"

namespace orvane {
namespace {

using testing::Letters;

// A BGRA frame of letter pixels, `rows`, with two unused
// pixels at the end of each row.
struct LetterFrame {
  explicit LetterFrame(const std::vector<std::string>& rows)
      : pitch(static_cast<uint32_t>(rows[0].size() + 2) * 4), bytes(pitch * rows.size(), '#') {
    for (size_t y = 0; y < rows.size(); ++y) {
      for (size_t x = 0; x < rows[y].size(); ++x) {
        testing::PutLetter(&bytes[y * pitch + x * 4], rows[y][x]);
      }
    }
    frame.status = CaptureStatus::kFrameReady;
    frame.data = bytes.data();
    frame.row_pitch = pitch;
    frame.width = static_cast<uint32_t>(rows[0].size());
    frame.height = static_cast<uint32_t>(rows.size());
    frame.data_size = bytes.size();
  }

  uint32_t pitch;
  std::vector<uint8_t> bytes;
  CapturedFrame frame;
};

// A 1920x1080 panel scanning out a monitor the desktop turned by the DXGI rotation value:
// the turn, and what the GPU blit turns from and to.
TEST(FrameRotationTest, DxgiRotationValuesNameTheTurnAndTheBlit) {
  const struct {
    uint32_t dxgi;
    FrameRotation rotation;
    uint32_t quarter_turns;
    FrameSize target;
  } cases[] = {{0, FrameRotation::kNone, 0, {1920, 1080}},
               {1, FrameRotation::kNone, 0, {1920, 1080}},
               {2, FrameRotation::kClockwise90, 1, {1080, 1920}},
               {3, FrameRotation::kClockwise180, 2, {1920, 1080}},
               {4, FrameRotation::kClockwise270, 3, {1080, 1920}},
               {5, FrameRotation::kNone, 0, {1920, 1080}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dxgi);
    EXPECT_EQ(RotationFromDxgi(c.dxgi), c.rotation);
    const RotationBlit blit = PlanRotationBlit(c.rotation, 1920, 1080);
    EXPECT_EQ(blit.quarter_turns, c.quarter_turns);
    EXPECT_EQ(blit.source.width, 1920u);
    EXPECT_EQ(blit.source.height, 1080u);
    EXPECT_EQ(blit.target.width, c.target.width);
    EXPECT_EQ(blit.target.height, c.target.height);
  }
}

// A portrait monitor's image arrives as the landscape panel scans it out; turned, the
// desktop stands upright at the monitor's desktop size.
TEST(FrameRotationTest, TurnsTheImageUpright) {
  const std::vector<std::string> scanned = {"abc", "def"};
  const struct {
    FrameRotation rotation;
    std::vector<std::string> upright;
  } cases[] = {
      {FrameRotation::kClockwise90, {"da", "eb", "fc"}},
      {FrameRotation::kClockwise180, {"fed", "cba"}},
      {FrameRotation::kClockwise270, {"cf", "be", "ad"}},
  };
  for (const auto& c : cases) {
    LetterFrame source(scanned);
    source.frame.protected_content_masked = true;
    std::vector<uint8_t> buffer;
    const CapturedFrame upright = RotateToUpright(source.frame, c.rotation, buffer);
    ASSERT_EQ(upright.status, CaptureStatus::kFrameReady);
    ASSERT_TRUE(FrameFitsMemory(upright));
    const FrameSize size = UprightSize(c.rotation, 3, 2);
    EXPECT_EQ(upright.width, size.width);
    EXPECT_EQ(upright.height, size.height);
    EXPECT_EQ(Letters(upright), c.upright) << static_cast<int>(c.rotation);
    EXPECT_TRUE(upright.protected_content_masked);
  }
}

// Large enough to span several tiles of the turn, with sides that are not multiples of it.
TEST(FrameRotationTest, FourQuarterTurnsGiveTheImageBack) {
  std::vector<std::string> rows(37, std::string(70, 'a'));
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t x = 0; x < rows[y].size(); ++x) {
      rows[y][x] = static_cast<char>('!' + (x * 7 + y * 13) % 90);
    }
  }
  LetterFrame source(rows);
  std::vector<uint8_t> buffers[4];
  CapturedFrame frame = source.frame;
  for (std::vector<uint8_t>& buffer : buffers) {
    frame = RotateToUpright(frame, FrameRotation::kClockwise90, buffer);
  }
  EXPECT_EQ(Letters(frame), rows);
}

TEST(FrameRotationTest, UnturnedAndUnsoundFrames) {
  LetterFrame source({"ab", "cd"});
  std::vector<uint8_t> buffer;
  EXPECT_EQ(RotateToUpright(source.frame, FrameRotation::kNone, buffer).data, source.frame.data);
  EXPECT_TRUE(buffer.empty());

  CapturedFrame too_big = source.frame;
  too_big.height = 3;
  EXPECT_EQ(RotateToUpright(too_big, FrameRotation::kClockwise90, buffer).status,
            CaptureStatus::kFailed);
}

}  // namespace
}  // namespace orvane
