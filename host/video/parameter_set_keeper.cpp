#include "video/parameter_set_keeper.h"

#include <cstddef>

namespace orvane {
namespace {

enum class NalKind { kDelimiter, kParameterSet, kIdr, kOther };

// One NAL unit with its start code, as [begin, end) offsets.
struct NalSpan {
  size_t begin = 0;
  size_t end = 0;
  NalKind kind = NalKind::kOther;
};

NalKind Classify(uint8_t header, bool hevc) {
  if (hevc) {
    const uint8_t type = (header >> 1) & 0x3F;
    if (type >= 32 && type <= 34) {  // VPS, SPS, PPS
      return NalKind::kParameterSet;
    }
    if (type == 35) {
      return NalKind::kDelimiter;
    }
    return type == 19 || type == 20 ? NalKind::kIdr : NalKind::kOther;  // IDR_W_RADL, IDR_N_LP
  }
  const uint8_t type = header & 0x1F;
  if (type == 7 || type == 8) {
    return NalKind::kParameterSet;
  }
  if (type == 9) {
    return NalKind::kDelimiter;
  }
  return type == 5 ? NalKind::kIdr : NalKind::kOther;
}

// The NAL units of an Annex B byte stream; a four-byte start code's leading zero belongs
// to the unit it starts, not to the one before.
std::vector<NalSpan> SplitNalUnits(std::span<const uint8_t> bytes, bool hevc) {
  std::vector<NalSpan> units;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) {
      continue;
    }
    const size_t begin = i > 0 && bytes[i - 1] == 0 ? i - 1 : i;
    if (!units.empty()) {
      units.back().end = begin;
    }
    units.push_back({begin, bytes.size(), Classify(bytes[i + 3], hevc)});
    i += 2;
  }
  return units;
}

std::vector<uint8_t> ParameterSetsOf(std::span<const uint8_t> bytes,
                                     const std::vector<NalSpan>& units) {
  std::vector<uint8_t> sets;
  for (const NalSpan& unit : units) {
    if (unit.kind == NalKind::kParameterSet) {
      sets.insert(sets.end(), bytes.begin() + unit.begin, bytes.begin() + unit.end);
    }
  }
  return sets;
}

}  // namespace

void ParameterSetKeeper::Reset(bool hevc) {
  hevc_ = hevc;
  parameter_sets_.clear();
}

void ParameterSetKeeper::Remember(std::span<const uint8_t> sequence_header) {
  std::vector<uint8_t> sets =
      ParameterSetsOf(sequence_header, SplitNalUnits(sequence_header, hevc_));
  if (!sets.empty()) {
    parameter_sets_ = std::move(sets);
  }
}

void ParameterSetKeeper::Complete(std::vector<uint8_t>& access_unit) {
  const std::vector<NalSpan> units = SplitNalUnits(access_unit, hevc_);
  std::vector<uint8_t> sets = ParameterSetsOf(access_unit, units);
  if (!sets.empty()) {
    parameter_sets_ = std::move(sets);
    return;
  }
  bool idr = false;
  for (const NalSpan& unit : units) {
    idr = idr || unit.kind == NalKind::kIdr;
  }
  if (idr) {
    // An access unit delimiter stays the unit's first NAL.
    const size_t at = units.front().kind == NalKind::kDelimiter ? units.front().end : 0;
    access_unit.insert(access_unit.begin() + static_cast<std::ptrdiff_t>(at),
                       parameter_sets_.begin(), parameter_sets_.end());
  }
}

}  // namespace orvane
