#pragma once

#include <windows.h>

#include "input/input_sink.h"

namespace orvane {

// Input on Windows: native touch injection and a synthetic pen device where user32
// offers them (resolved at run time, since older systems lack them), SendInput for the
// mouse and the keyboard. Positions map onto the virtual desktop of all monitors.
class WindowsInputSink : public InputSink {
 public:
  // Resolves and initialises touch and pen injection, logging what it found; never fails.
  WindowsInputSink();
  ~WindowsInputSink() override;
  WindowsInputSink(const WindowsInputSink&) = delete;
  WindowsInputSink& operator=(const WindowsInputSink&) = delete;

  bool touch_available() const override { return touch_available_; }
  SinkResult InjectTouch(std::span<const TouchContact> contacts) override;
  bool pen_available() const override { return pen_device_ != nullptr; }
  SinkResult InjectPen(const PenSample& sample) override;
  // Windows pens report range in every frame; nothing is sent.
  void LeavePenRange() override {}
  void SendMouse(const MouseRecord& record) override;
  void SendKey(const KeyRecord& record) override;
  DesktopRect Desktop() override;

 private:
  using InitializeTouchInjectionFn = BOOL(WINAPI*)(UINT32, DWORD);
  using InjectTouchInputFn = BOOL(WINAPI*)(UINT32, const POINTER_TOUCH_INFO*);
  // HSYNTHETICPOINTERDEVICE, which the headers declare only for Windows 10 1809 and later.
  using SyntheticPointerDevice = HANDLE;
  using CreateSyntheticPointerDeviceFn = SyntheticPointerDevice(WINAPI*)(POINTER_INPUT_TYPE, ULONG,
                                                                         POINTER_FEEDBACK_MODE);
  using InjectSyntheticPointerInputFn = BOOL(WINAPI*)(SyntheticPointerDevice,
                                                      const POINTER_TYPE_INFO*, UINT32);
  using DestroySyntheticPointerDeviceFn = void(WINAPI*)(SyntheticPointerDevice);

  void InitializeTouch();
  void InitializePen();

  bool touch_available_ = false;
  InitializeTouchInjectionFn initialize_touch_injection_ = nullptr;
  InjectTouchInputFn inject_touch_input_ = nullptr;
  CreateSyntheticPointerDeviceFn create_synthetic_pointer_device_ = nullptr;
  InjectSyntheticPointerInputFn inject_synthetic_pointer_input_ = nullptr;
  DestroySyntheticPointerDeviceFn destroy_synthetic_pointer_device_ = nullptr;
  SyntheticPointerDevice pen_device_ = nullptr;
};

}  // namespace orvane
