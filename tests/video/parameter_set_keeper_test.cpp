#include "video/parameter_set_keeper.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) {
    joined.insert(joined.end(), part.begin(), part.end());
  }
  return joined;
}

// H.264 NAL units.
const Bytes kAud = {0, 0, 0, 1, 0x09, 0xf0};
const Bytes kSps = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1f};
const Bytes kPps = {0, 0, 1, 0x68, 0xce, 0x3c, 0x80};  // a three-byte start code
const Bytes kIdr = {0, 0, 0, 1, 0x65, 0x88, 0x84};
const Bytes kSlice = {0, 0, 0, 1, 0x41, 0x9a, 0x02};
// HEVC NAL units.
const Bytes kVps = {0, 0, 0, 1, 0x40, 0x01, 0x0c};
const Bytes kHevcSps = {0, 0, 0, 1, 0x42, 0x01, 0x01};
const Bytes kHevcPps = {0, 0, 0, 1, 0x44, 0x01, 0xc1};
const Bytes kIdrNoLeading = {0, 0, 0, 1, 0x28, 0x01, 0xaf};  // IDR_N_LP
const Bytes kTrailing = {0, 0, 0, 1, 0x02, 0x01, 0xd0};      // TRAIL_R

struct Case {
  const char* name;
  bool hevc;
  Bytes sequence_header;  // remembered first, when not empty
  std::vector<Bytes> units;
  Bytes last_expected;  // what the last unit becomes
};

TEST(ParameterSetKeeperTest, IdrsWithoutParameterSetsGetTheLastOnesSeen) {
  const Case cases[] = {
      {"a later H.264 IDR gets SPS and PPS",
       false,
       {},
       {Join({kSps, kPps, kIdr}), kSlice, kIdr},
       Join({kSps, kPps, kIdr})},
      {"an IDR that has them is left alone",
       false,
       {},
       {Join({kSps, kPps, kIdr}), Join({kSps, kPps, kIdr})},
       Join({kSps, kPps, kIdr})},
      {"a non-IDR slice is left alone", false, {}, {Join({kSps, kPps, kIdr}), kSlice}, kSlice},
      {"nothing to add before any parameter set is known", false, {}, {kIdr}, kIdr},
      {"the access unit delimiter stays first",
       false,
       {},
       {Join({kAud, kSps, kPps, kIdr}), Join({kAud, kIdr})},
       Join({kAud, kSps, kPps, kIdr})},
      {"the sequence header fills in for the first IDR",
       false,
       Join({kSps, kPps}),
       {kIdr},
       Join({kSps, kPps, kIdr})},
      {"HEVC keeps VPS, SPS and PPS",
       true,
       {},
       {Join({kVps, kHevcSps, kHevcPps, kIdrNoLeading}), kTrailing, kIdrNoLeading},
       Join({kVps, kHevcSps, kHevcPps, kIdrNoLeading})},
  };
  for (const Case& test : cases) {
    ParameterSetKeeper keeper;
    keeper.Reset(test.hevc);
    if (!test.sequence_header.empty()) {
      keeper.Remember(test.sequence_header);
    }
    Bytes unit;
    for (const Bytes& produced : test.units) {
      unit = produced;
      keeper.Complete(unit);
    }
    EXPECT_EQ(unit, test.last_expected) << test.name;
  }
}

}  // namespace
}  // namespace orvane
