#include "input/uinput_pen_writer_uinput.h"

#include <vector>

namespace orvane {
namespace {

constexpr int32_t kMaxPressure = 1024;
constexpr int32_t kMaxTilt = 90;
// Tilt axes count in degrees; their resolution is in units per radian.
constexpr int32_t kTiltResolution = 57;

SinkResult Written(int error) {
  return error == 0 ? SinkResult{} : SinkResult::Failure(static_cast<uint32_t>(error));
}

}  // namespace

UinputDeviceSpec UinputPenWriter::DeviceSpec(int32_t width, int32_t height, int32_t resolution) {
  UinputDeviceSpec spec;
  spec.name = "Orvane Display Pen";
  spec.product = 2;
  spec.keys = {BTN_TOOL_PEN, BTN_TOUCH, BTN_STYLUS};
  spec.axes = {
      {ABS_X, 0, width - 1, resolution},
      {ABS_Y, 0, height - 1, resolution},
      {ABS_PRESSURE, 0, kMaxPressure, 0},
      {ABS_TILT_X, -kMaxTilt, kMaxTilt, kTiltResolution},
      {ABS_TILT_Y, -kMaxTilt, kMaxTilt, kTiltResolution},
      {ABS_Z, 0, 359, 0},
  };
  return spec;
}

UinputPenWriter::UinputPenWriter(std::unique_ptr<UinputDevice> device, int32_t width,
                                 int32_t height)
    : device_(std::move(device)), width_(width), height_(height) {}

SinkResult UinputPenWriter::Write(const PenSample& sample, const DesktopRect& desktop) {
  if (!sample.in_range) {
    return LeaveRange();
  }
  // Readers take any pressure for the tip touching, so a hovering pen presses nothing.
  const int32_t pressure = sample.in_contact ? static_cast<int32_t>(sample.pressure) : 0;
  std::vector<input_event> events = {
      UinputEvent(EV_ABS, ABS_X, DesktopToAxis(sample.x, desktop.x, desktop.width, width_)),
      UinputEvent(EV_ABS, ABS_Y, DesktopToAxis(sample.y, desktop.y, desktop.height, height_)),
      UinputEvent(EV_ABS, ABS_PRESSURE, pressure),
      UinputEvent(EV_ABS, ABS_TILT_X, sample.tilt_x),
      UinputEvent(EV_ABS, ABS_TILT_Y, sample.tilt_y),
      UinputEvent(EV_ABS, ABS_Z, static_cast<int32_t>(sample.rotation)),
      UinputEvent(EV_KEY, BTN_TOOL_PEN, sample.in_range ? 1 : 0),
      UinputEvent(EV_KEY, BTN_TOUCH, sample.in_contact ? 1 : 0),
      UinputEvent(EV_KEY, BTN_STYLUS, sample.barrel ? 1 : 0),
  };
  return Written(device_->WriteFrame(events));
}

SinkResult UinputPenWriter::LeaveRange() {
  std::vector<input_event> events = {
      UinputEvent(EV_KEY, BTN_TOOL_PEN, 0),
      UinputEvent(EV_KEY, BTN_TOUCH, 0),
      UinputEvent(EV_KEY, BTN_STYLUS, 0),
  };
  return Written(device_->WriteFrame(events));
}

}  // namespace orvane
