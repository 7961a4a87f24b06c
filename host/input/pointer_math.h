#pragma once

#include <cstdint>
#include <span>

#include "input/input_sink.h"

namespace orvane {

// The arithmetic that turns the client's normalised floats into pointer values. Every
// function takes any float: non-finite values count as 0, so that no clamp lets NaN
// through and no range reduction runs forever.

float FiniteOrZero(float value);

// 0.0 is the first pixel of the extent, 1.0 (and anything above) its last.
int32_t NormalizedToPixel(float value, int32_t origin, int32_t extent);

// The monitor of capture output `output_index`: the first monitor when there is no such
// output (capture falls back to it), `whole` when no monitor has an area.
DesktopRect StreamedMonitorArea(std::span<const DesktopRect> monitors, uint32_t output_index,
                                const DesktopRect& whole);

// A desktop pixel as an absolute mouse coordinate: 0..65535 over `extent` pixels from
// `origin` (the virtual desktop, for the Windows mouse).
int32_t AbsoluteMouseCoordinate(int32_t pixel, int32_t origin, int32_t extent);

// 0.0 (and anything below) gives 1, 1.0 (and anything above) 1024.
uint32_t PointerPressure(float pressure);

// Radians to whole degrees within -90..90.
int32_t TiltDegrees(float radians);

// Radians to whole degrees within 0..359.
uint32_t RotationDegrees(float radians);

}  // namespace orvane
