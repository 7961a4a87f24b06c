#pragma once

#include <cstdint>

namespace orvane {

// Turns the client's touch, pen and key events into input on this computer.
// Coordinates are fractions of the streamed picture, 0.0 to 1.0.
class InputInjector {
 public:
  virtual ~InputInjector() = default;

  virtual void InjectTouch(uint32_t action, uint32_t pointer_id, float x, float y,
                           float pressure) = 0;
  virtual void InjectPen(uint32_t action, float x, float y, float pressure, float tilt_x,
                         float tilt_y, float orientation, uint32_t button_state) = 0;
  virtual void InjectKey(uint32_t action, uint32_t key_code, uint32_t modifiers) = 0;
  virtual void SetScreenSize(uint32_t width, uint32_t height) = 0;
};

}  // namespace orvane
