#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "input/input_api_win.h"
#include "input/input_sink.h"

namespace orvane {

// Input on Windows: native touch injection and a synthetic pen device where user32
// offers them (resolved at run time, since older systems lack them), SendInput for the
// mouse and the keyboard. Positions map onto the streamed monitor (EnumDisplayMonitors
// order, as capture numbers outputs); the absolute mouse is scaled over the virtual
// desktop of all monitors, as SendInput takes it.
class WindowsInputSink : public InputSink {
 public:
  // Initialises touch and pen injection, logging what it found; never fails.
  explicit WindowsInputSink(WindowsInputApi api = WindowsInputApi::System());
  ~WindowsInputSink() override;
  WindowsInputSink(const WindowsInputSink&) = delete;
  WindowsInputSink& operator=(const WindowsInputSink&) = delete;

  bool touch_available() const override { return touch_available_; }
  SinkResult InjectTouch(std::span<const TouchContact> contacts) override;
  bool pen_available() const override { return pen_device_ != nullptr; }
  SinkResult InjectPen(const PenSample& sample) override;
  void SendMouse(const MouseRecord& record) override;
  void SendKey(const KeyRecord& record) override;
  void SetStreamedOutput(uint32_t output_index) override { output_index_ = output_index; }
  DesktopRect Desktop() override;

 private:
  void InitializeTouch();
  void InitializePen();
  DesktopRect VirtualDesktop();
  // SendInput of one record. A refusal is logged once until input gets through again;
  // one that User Interface Privilege Isolation made (the foreground window belongs to a
  // process of higher integrity) says so.
  void Send(INPUT input);

  WindowsInputApi api_;
  bool touch_available_ = false;
  SyntheticPointerDevice pen_device_ = nullptr;
  uint32_t output_index_ = 0;
  bool refusal_logged_ = false;
};

}  // namespace orvane
