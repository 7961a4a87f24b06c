#pragma once

#include <cstdint>
#include <optional>

namespace orvane {

// The size of the picture a remote-desktop stream sends; its coordinates run from 0 to
// width and height.
struct StreamArea {
  uint32_t width = 0;
  uint32_t height = 0;
};

// A compositor's remote-desktop session that takes input in the coordinates of the
// stream it sends: pointer, buttons, keys by keysym and touch slots. The calls only
// queue the request; false when no session runs.
class RemoteDesktopInput {
 public:
  virtual ~RemoteDesktopInput() = default;

  // Nothing while no stream runs.
  virtual std::optional<StreamArea> Area() = 0;
  virtual bool PointerMotionAbsolute(double x, double y) = 0;
  // `button` is a Linux input event code (BTN_LEFT...).
  virtual bool PointerButton(int32_t button, bool pressed) = 0;
  virtual bool KeyboardKeysym(uint32_t keysym, bool pressed) = 0;
  virtual bool TouchDown(uint32_t slot, double x, double y) = 0;
  virtual bool TouchMotion(uint32_t slot, double x, double y) = 0;
  virtual bool TouchUp(uint32_t slot) = 0;
};

}  // namespace orvane
