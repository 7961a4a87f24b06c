#pragma once

#include <memory>

#include "input/input_sink.h"
#include "input/screen_layout_x11.h"
#include "input/uinput_pen_writer_uinput.h"
#include "input/uinput_touch_writer_uinput.h"
#include "input/xtest_input_xtest.h"
#include "platform/x11/x11_display_source.h"

namespace orvane {

// Input on a Linux desktop: a multi-touch screen and a pen tablet made through uinput,
// when /dev/uinput may be opened, and XTest's mouse and keyboard on the shared X
// connection. Positions map onto the streamed RandR monitor; the uinput devices span the
// whole X screen, as the server maps them.
class LinuxInputSink : public InputSink {
 public:
  // nullptr (logged) when no X server answers; logs which facilities it found.
  static std::unique_ptr<LinuxInputSink> Create(std::shared_ptr<X11DisplaySource> displays);

  // Any of the three may be missing.
  LinuxInputSink(std::shared_ptr<X11DisplaySource> displays, std::shared_ptr<X11Display> x11,
                 std::unique_ptr<UinputTouchWriter> touch, std::unique_ptr<UinputPenWriter> pen);

  bool touch_available() const override { return touch_ != nullptr; }
  SinkResult InjectTouch(std::span<const TouchContact> contacts) override;
  bool pen_available() const override { return pen_ != nullptr; }
  SinkResult InjectPen(const PenSample& sample) override;
  void SendMouse(const MouseRecord& record) override;
  void SendKey(const KeyRecord& record) override;
  void SetStreamedOutput(uint32_t output_index) override;
  // The streamed monitor.
  DesktopRect Desktop() override;

 private:
  // XTest on the live display, opened anew (with the screen size) after the server went
  // away; nullptr when there is no server or no XTest.
  XTestInput* LiveXTest();
  void Attach(std::shared_ptr<X11Display> x11);

  std::shared_ptr<X11DisplaySource> displays_;
  std::shared_ptr<X11Display> x11_;
  std::unique_ptr<XTestInput> xtest_;
  std::unique_ptr<X11ScreenLayout> screen_layout_;
  std::unique_ptr<UinputTouchWriter> touch_;
  std::unique_ptr<UinputPenWriter> pen_;
  uint32_t output_index_ = 0;
  // As last read: the X screen and the streamed monitor on it.
  DesktopRect screen_;
  DesktopRect desktop_;
};

}  // namespace orvane
