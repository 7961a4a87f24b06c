#include "input/pointer_math.h"

#include <algorithm>
#include <cmath>

namespace orvane {
namespace {

constexpr float kDegreesPerRadian = 57.29578f;

float ClampUnit(float value) {
  return std::clamp(FiniteOrZero(value), 0.0f, 1.0f);
}

}  // namespace

float FiniteOrZero(float value) {
  return std::isfinite(value) ? value : 0.0f;
}

int32_t NormalizedToPixel(float value, int32_t origin, int32_t extent) {
  const float span = static_cast<float>(std::max(extent - 1, 1));
  return origin + static_cast<int32_t>(span * ClampUnit(value));
}

DesktopRect StreamedMonitorArea(std::span<const DesktopRect> monitors, uint32_t output_index,
                                const DesktopRect& whole) {
  const auto has_area = [](const DesktopRect& rect) { return rect.width > 0 && rect.height > 0; };
  if (output_index < monitors.size() && has_area(monitors[output_index])) {
    return monitors[output_index];
  }
  if (!monitors.empty() && has_area(monitors.front())) {
    return monitors.front();
  }
  return whole;
}

int32_t AbsoluteMouseCoordinate(int32_t pixel, int32_t origin, int32_t extent) {
  return static_cast<int32_t>(int64_t{pixel - origin} * 65535 / std::max(extent - 1, 1));
}

uint32_t PointerPressure(float pressure) {
  return std::max(static_cast<uint32_t>(ClampUnit(pressure) * 1024.0f), 1u);
}

int32_t TiltDegrees(float radians) {
  return static_cast<int32_t>(std::clamp(FiniteOrZero(radians) * kDegreesPerRadian, -90.0f, 90.0f));
}

uint32_t RotationDegrees(float radians) {
  // Huge finite angles overflow to infinity once in degrees.
  float degrees = std::fmod(FiniteOrZero(FiniteOrZero(radians) * kDegreesPerRadian), 360.0f);
  if (degrees < 0.0f) {
    degrees += 360.0f;
  }
  // A tiny negative angle plus 360 rounds to 360 in single precision.
  return degrees >= 360.0f ? 0u : static_cast<uint32_t>(degrees);
}

}  // namespace orvane
