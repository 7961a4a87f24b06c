#pragma once

#include <windows.h>

#include <d3d11.h>

#include <cstdint>
#include <memory>

#include "video/graphics_capture_factories_wgc.h"

namespace orvane::testing {

// One monitor as Windows.Graphics.Capture shows it, and the runtime objects that capture
// it, holding to the rules Windows documents:
// - A frame pool's buffers have the size the pool was created or last recreated for.
//   After the monitor changes size, frames keep that size, the picture cropped or padded
//   with black, and report the monitor's new size as their content size.
// - A frame holds its buffer until it is released; while every buffer is queued or held,
//   new pictures are not delivered. Frames come out oldest first.
// - The cursor is drawn into frames unless the session's IsCursorCaptureEnabled was set
//   to false (IGraphicsCaptureSession2, Windows 10 2004 and later).
// - The border shows unless IsBorderRequired was set to false after borderless access was
//   requested (IGraphicsCaptureSession3 and GraphicsCaptureAccess, build 20348 and later).
// - When the monitor goes away its item raises Closed on a thread of the system's, and
//   no frame comes after.
// - CreateForMonitor answers only the IGraphicsCaptureItem IID; a pool takes only a device
//   made from a Direct3D 11 device, at least one buffer and a non-empty size; StartCapture
//   runs once per session; a closed pool or session fails every call with RO_E_CLOSED.
// The fake makes only B8G8R8A8 frames, one colour each, on the capturer's own device.
class FakeGraphicsCapture {
 public:
  struct State;

  // `modern`: the system has the cursor and border settings and GraphicsCaptureAccess.
  FakeGraphicsCapture(int32_t width, int32_t height, bool modern);
  ~FakeGraphicsCapture();
  FakeGraphicsCapture(const FakeGraphicsCapture&) = delete;
  FakeGraphicsCapture& operator=(const FakeGraphicsCapture&) = delete;

  // The entry points the capturer starts from, all leading to this monitor.
  GraphicsCaptureRuntime Runtime() const;

  // The monitor shows a new picture of one BGRA colour; a running capture queues it if a
  // buffer is free.
  void Present(uint32_t bgra);
  void Resize(int32_t width, int32_t height);
  // The monitor is unplugged.
  void Unplug();

  bool border_shown() const;
  int closed_handlers() const;
  int rule_breaks() const;

  static constexpr uint32_t kCursorBgra = 0xFFFEFDFC;
  static constexpr int32_t kCursorX = 24;
  static constexpr int32_t kCursorY = 16;
  static constexpr int32_t kCursorSize = 8;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace orvane::testing
