#include "client/frame_reassembler.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orvane::client {
namespace {

// Fragment `index` of frame `frame` carries these bytes, so that a joined unit shows
// whether its fragments went in by index.
std::vector<uint8_t> FragmentBytes(uint32_t frame, uint16_t index) {
  return {static_cast<uint8_t>(frame), static_cast<uint8_t>(index), 0xEE};
}

struct Delivery {
  uint32_t frame;
  uint16_t index;
};

struct ReassemblyCase {
  std::string name;
  std::map<uint32_t, uint16_t> counts;  // fragments of each frame
  std::vector<Delivery> deliveries;
  std::vector<uint32_t> emitted;
  uint64_t lost = 0;
  uint64_t duplicates = 0;
  uint64_t late = 0;
};

class Feeder {
 public:
  void Deliver(uint32_t frame, uint16_t index, uint16_t count, uint8_t flags = 0,
               uint64_t timestamp_us = 0) {
    const std::vector<uint8_t> bytes = FragmentBytes(frame, index);
    VideoFragment fragment{{flags, frame, timestamp_us, index, count}, bytes};
    reassembler.AddFragment(fragment, units);
  }

  FrameReassembler reassembler;
  std::vector<AccessUnit> units;
};

TEST(FrameReassemblerTest, JoinsFramesAndCountsLossDuplicatesAndLateFragments) {
  const std::vector<ReassemblyCase> cases = {
      {"in order", {{1, 3}, {2, 2}}, {{1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}}, {1, 2}},
      {"reversed", {{1, 3}}, {{1, 2}, {1, 1}, {1, 0}}, {1}},
      {"single fragment", {{5, 1}}, {{5, 0}}, {5}},
      {"duplicated fragment", {{1, 2}}, {{1, 0}, {1, 0}, {1, 1}}, {1}, 0, 1},
      {"missing fragment, then newer frame",
       {{1, 2}, {2, 1}},
       {{1, 0}, {2, 0}, {1, 1}},
       {2},
       1,
       0,
       1},
      {"frame never seen between two complete ones", {{1, 1}, {3, 1}}, {{1, 0}, {3, 0}}, {1, 3}, 1},
      {"older frame completes after a newer one",
       {{1, 2}, {2, 2}},
       {{1, 0}, {2, 0}, {2, 1}, {1, 1}},
       {2},
       1,
       0,
       1},
      {"fragment of an emitted frame",
       {{1, 1}, {2, 2}},
       {{1, 0}, {2, 0}, {1, 0}, {2, 1}},
       {1, 2},
       0,
       0,
       1},
      {"frame numbers wrap around",
       {{0xFFFFFFFE, 1}, {0, 1}},
       {{0xFFFFFFFE, 0}, {0, 0}},
       {0xFFFFFFFE, 0},
       1},
  };
  for (const ReassemblyCase& test : cases) {
    SCOPED_TRACE(test.name);
    Feeder feeder;
    for (const Delivery& delivery : test.deliveries) {
      feeder.Deliver(delivery.frame, delivery.index, test.counts.at(delivery.frame));
    }
    std::vector<uint32_t> emitted;
    uint64_t bytes = 0;
    for (const AccessUnit& unit : feeder.units) {
      emitted.push_back(unit.frame_number);
      std::vector<uint8_t> expected;
      for (uint16_t i = 0; i < test.counts.at(unit.frame_number); ++i) {
        const std::vector<uint8_t> fragment = FragmentBytes(unit.frame_number, i);
        expected.insert(expected.end(), fragment.begin(), fragment.end());
      }
      EXPECT_EQ(unit.bytes, expected);
      bytes += unit.bytes.size();
    }
    EXPECT_EQ(emitted, test.emitted);
    const MediaStats& stats = feeder.reassembler.stats();
    EXPECT_EQ(stats.frames_complete, test.emitted.size());
    EXPECT_EQ(stats.bytes, bytes);
    EXPECT_EQ(stats.frames_lost, test.lost);
    EXPECT_EQ(stats.duplicate_fragments, test.duplicates);
    EXPECT_EQ(stats.late_fragments, test.late);
  }
}

TEST(FrameReassemblerTest, KeyframeFlagAndTimestampComeFromTheFirstFragment) {
  Feeder feeder;
  feeder.Deliver(1, 1, 2, 0, 1000);
  feeder.Deliver(1, 0, 2, kKeyframeFlag, 1000);
  feeder.Deliver(2, 0, 1, 0, 2000);
  ASSERT_EQ(feeder.units.size(), 2u);
  EXPECT_TRUE(feeder.units[0].keyframe);
  EXPECT_EQ(feeder.units[0].timestamp_us, 1000u);
  EXPECT_FALSE(feeder.units[1].keyframe);
  EXPECT_EQ(feeder.units[1].timestamp_us, 2000u);
  EXPECT_EQ(feeder.reassembler.stats().keyframes, 1u);
}

TEST(FrameReassemblerTest, FragmentWithAnotherCountThanItsFrameIsMalformed) {
  Feeder feeder;
  feeder.Deliver(1, 0, 2);
  feeder.Deliver(1, 1, 3);
  EXPECT_TRUE(feeder.units.empty());
  EXPECT_EQ(feeder.reassembler.stats().malformed_datagrams, 1u);
  feeder.Deliver(1, 1, 2);
  EXPECT_EQ(feeder.units.size(), 1u);
}

TEST(FrameReassemblerTest, EndlessIncompleteFramesDoNotPileUp) {
  // Before and after a first emission, and across the wrap of frame numbers.
  for (const uint32_t first : {1u, 0xFFFFFFF0u}) {
    SCOPED_TRACE(first);
    Feeder feeder;
    if (first != 1u) {
      feeder.Deliver(first - 1, 0, 1);
    }
    for (uint32_t n = 0; n < 1000; ++n) {
      feeder.Deliver(first + n, 0, 1000);
      ASSERT_LE(feeder.reassembler.pending_frames(), FrameReassembler::kMaxPendingFrames);
    }
    // The newest of them still completes; every one before it counts lost once.
    feeder.Deliver(first + 999, 1, 2);
    EXPECT_EQ(feeder.reassembler.stats().malformed_datagrams, 1u);
    feeder.Deliver(first + 1000, 0, 1);
    ASSERT_FALSE(feeder.units.empty());
    EXPECT_EQ(feeder.units.back().frame_number, first + 1000);
    EXPECT_EQ(feeder.reassembler.stats().frames_lost, 1000u);
  }
}

TEST(FrameReassemblerTest, AudioGapsCountSkippedSequenceNumbersOnce) {
  FrameReassembler reassembler;
  for (const uint32_t sequence : {10u, 11u, 13u, 12u, 17u, 0xFFFFFFFFu}) {
    reassembler.AddAudio({20, sequence, 0});
  }
  // 12 is missing when 13 arrives and late afterwards; 14 to 16 are skipped by 17; the
  // last one lies far behind and is taken for a late packet.
  EXPECT_EQ(reassembler.stats().audio_packets, 6u);
  EXPECT_EQ(reassembler.stats().audio_missing, 4u);
}

}  // namespace
}  // namespace orvane::client
