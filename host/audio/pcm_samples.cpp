#include "audio/pcm_samples.h"

#include <algorithm>
#include <cmath>

namespace orvane {

int16_t FloatToS16(float sample) {
  // The clamp lets NaN through, and its conversion to an integer is undefined.
  if (std::isnan(sample)) {
    return 0;
  }
  return static_cast<int16_t>(std::clamp(sample, -1.0f, 1.0f) * 32767.0f);
}

void FloatToS16(std::span<const float> in, int16_t* out) {
  std::transform(in.begin(), in.end(), out, [](float sample) { return FloatToS16(sample); });
}

bool IsSilent(std::span<const int16_t> samples) {
  return std::all_of(samples.begin(), samples.end(), [](int16_t sample) { return sample == 0; });
}

uint64_t TicksToMicros(uint64_t ticks, uint64_t frequency) {
  if (frequency == 0) {
    return 0;
  }
  return static_cast<uint64_t>(static_cast<unsigned __int128>(ticks) * 1000000u / frequency);
}

}  // namespace orvane
