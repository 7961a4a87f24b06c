#pragma once

#include <cstdint>
#include <memory>

#include "input/input_sink.h"
#include "input/uinput_device_uinput.h"

namespace orvane {

// Turns pen frames into the event stream of a pen tablet on the screen: proximity
// (BTN_TOOL_PEN), tip (BTN_TOUCH), barrel button (BTN_STYLUS), position, pressure, tilt
// in degrees and rotation.
class UinputPenWriter {
 public:
  static UinputDeviceSpec DeviceSpec(int32_t width, int32_t height, int32_t resolution);

  UinputPenWriter(std::unique_ptr<UinputDevice> device, int32_t width, int32_t height);

  // A sample out of range takes the pen away: proximity, tip and button are released.
  SinkResult Write(const PenSample& sample, const DesktopRect& desktop);

 private:
  SinkResult LeaveRange();

  std::unique_ptr<UinputDevice> device_;
  const int32_t width_;
  const int32_t height_;
};

}  // namespace orvane
