#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "input/input_sink.h"
#include "input/remote_desktop_input.h"

namespace orvane {

// Input through a compositor's remote-desktop session (GNOME Wayland without uinput):
// the area input maps onto is the stream itself, 0..width x 0..height, so touch, pen
// (as the mouse) and the mouse land on the streamed monitor, a virtual one included.
// Touch contacts take the lowest free slot; keys go by keysym, as for XTest.
class RemoteDesktopInputSink final : public InputSink {
 public:
  explicit RemoteDesktopInputSink(std::shared_ptr<RemoteDesktopInput> session);

  bool touch_available() const override { return true; }
  SinkResult InjectTouch(std::span<const TouchContact> contacts) override;
  bool pen_available() const override { return false; }
  SinkResult InjectPen(const PenSample& sample) override;
  void SendMouse(const MouseRecord& record) override;
  void SendKey(const KeyRecord& record) override;
  DesktopRect Desktop() override;

  // Linux input event codes of the mouse buttons.
  static constexpr int32_t kLeftButton = 0x110;
  static constexpr int32_t kRightButton = 0x111;

 private:
  // A position inside the stream's picture.
  double ClampX(int32_t x) const;
  double ClampY(int32_t y) const;

  const std::shared_ptr<RemoteDesktopInput> session_;
  StreamArea area_;
  // Pointer id to touch slot, for contacts down.
  std::map<uint32_t, uint32_t> slots_;
  std::set<uint16_t> logged_keys_;
};

}  // namespace orvane
