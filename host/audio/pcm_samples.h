#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvane {

// A float sample clamped to [-1, 1] and scaled by 32767, the fraction cut off: 1.5 gives
// 32767, -1.5 gives -32767 (never -32768), 0.5 gives 16383.
int16_t FloatToS16(float sample);
// `out` holds at least as many samples as `in`.
void FloatToS16(std::span<const float> in, int16_t* out);

// True when every sample is zero: nothing was playing.
bool IsSilent(std::span<const int16_t> samples);

// Microseconds in `ticks` of a counter running at `frequency` per second, without the
// overflow of a 64-bit product (which a 10 MHz counter reaches after 21 days). Zero for
// a zero frequency.
uint64_t TicksToMicros(uint64_t ticks, uint64_t frequency);

}  // namespace orvane
