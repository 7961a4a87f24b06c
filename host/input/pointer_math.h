#pragma once

#include <cstdint>

namespace orvane {

// The arithmetic that turns the client's normalised floats into pointer values. Every
// function takes any float: non-finite values count as 0, so that no clamp lets NaN
// through and no range reduction runs forever.

float FiniteOrZero(float value);

// 0.0 is the first pixel of the extent, 1.0 (and anything above) its last.
int32_t NormalizedToPixel(float value, int32_t origin, int32_t extent);

// 0.0 (and anything below) gives 1, 1.0 (and anything above) 1024.
uint32_t PointerPressure(float pressure);

// Radians to whole degrees within -90..90.
int32_t TiltDegrees(float radians);

// Radians to whole degrees within 0..359.
uint32_t RotationDegrees(float radians);

}  // namespace orvane
