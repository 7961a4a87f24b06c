#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// Keeps the latest H.264 or HEVC parameter sets (VPS/SPS/PPS) of an Annex B stream and
// puts them in front of any IDR access unit that lacks them, so that a client may start
// decoding at every keyframe even from an encoder that sends them only once.
class ParameterSetKeeper {
 public:
  void Reset(bool hevc);
  bool has_parameter_sets() const { return !parameter_sets_.empty(); }

  // Takes the parameter sets an Annex B sequence header carries.
  void Remember(std::span<const uint8_t> sequence_header);
  // Remembers the parameter sets the access unit carries, or prepends the kept ones when
  // it is an IDR without any.
  void Complete(std::vector<uint8_t>& access_unit);

 private:
  bool hevc_ = false;
  std::vector<uint8_t> parameter_sets_;
};

}  // namespace orvane
