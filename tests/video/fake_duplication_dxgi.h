#pragma once

#include <windows.h>

#include <d3d11.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/com_ref_win.h"
#include "video/duplication_api_dxgi.h"

namespace orvane::testing {

// A desktop of monitors on several adapters as DXGI shows it, keeping the rules Microsoft
// documents for Desktop Duplication:
// - Adapters and outputs are numbered from 0; past the last, EnumAdapters1 and EnumOutputs
//   answer DXGI_ERROR_NOT_FOUND. An output's description names its HMONITOR, its rotation
//   and its desktop rectangle (the rotated one).
// - DuplicateOutput needs a device created on the output's own adapter and refuses a
//   second duplication of the same output (E_INVALIDARG); while the secure desktop has the
//   input, it is E_ACCESSDENIED.
// - A duplication's description gives the mode as the panel scans it out and the rotation;
//   the image it hands out is the panel's, not the rotated desktop.
// - AcquireNextFrame refuses while the previous frame is held (DXGI_ERROR_INVALID_CALL),
//   times out at once when nothing changed, and reports a pointer-only update with
//   LastPresentTime 0. ReleaseFrame refuses when no frame is held. A presented frame's
//   dirty rectangles (TotalMetadataBufferSize bytes with its move rectangles) are read
//   while it is held, else DXGI_ERROR_INVALID_CALL; a buffer too small for them gets
//   DXGI_ERROR_MORE_DATA and the size needed. After a desktop switch
//   every duplication of the old desktop answers DXGI_ERROR_ACCESS_LOST.
// - The image is in video memory: MapDesktopSurface is DXGI_ERROR_UNSUPPORTED.
// The textures are real Direct3D 11 textures of the device given to DuplicateOutput.
class FakeDxgiDesktop {
 public:
  struct Monitor {
    HMONITOR handle = nullptr;
    int32_t left = 0;
    int32_t top = 0;
    DXGI_MODE_ROTATION rotation = DXGI_MODE_ROTATION_IDENTITY;
    // The picture as the desktop shows it: one letter per pixel, row by row.
    std::vector<std::string> picture;
  };
  struct Record {
    int rule_breaks = 0;
    int duplications = 0;
    int frames_acquired = 0;
    int frames_released = 0;
  };

  // `adapters`: the monitors of each adapter in output order. `monitor_order`: the
  // monitors in EnumDisplayMonitors order.
  FakeDxgiDesktop(std::vector<std::vector<Monitor>> adapters, std::vector<HMONITOR> monitor_order);
  ~FakeDxgiDesktop();
  FakeDxgiDesktop(const FakeDxgiDesktop&) = delete;
  FakeDxgiDesktop& operator=(const FakeDxgiDesktop&) = delete;

  DuplicationApi Api();

  // Something new is drawn on the monitor: the next acquire presents its picture, with
  // `dirty` (in the monitor's desktop image) as the changed rectangles, or all of it.
  void Draw(HMONITOR monitor, std::vector<std::string> picture, std::vector<RECT> dirty = {});
  // Only the mouse pointer moves on the monitor.
  void MovePointer(HMONITOR monitor);
  // The secure desktop (lock screen, elevation prompt) takes the input, and back.
  void SwitchToSecureDesktop();
  void SwitchToUserDesktop();
  void AdvanceClock(uint64_t ms) { now_ms_ += ms; }

  const Record& record() const { return record_; }

  // The BGRA bytes of a picture as the panel of a monitor with `rotation` scans it out,
  // and that image's size.
  static std::vector<uint8_t> ScanOut(const std::vector<std::string>& picture,
                                      DXGI_MODE_ROTATION rotation, uint32_t& width,
                                      uint32_t& height);

  struct OutputState;

 private:
  friend class FakeOutput;
  friend class FakeDuplication;

  OutputState* Find(HMONITOR monitor);
  HRESULT CreateDevice(IDXGIAdapter* adapter, ComRef<ID3D11Device>& device,
                       ComRef<ID3D11DeviceContext>& context);

  std::vector<std::vector<std::shared_ptr<OutputState>>> adapters_;
  std::vector<ComRef<IDXGIAdapter1>> adapter_objects_;
  std::vector<HMONITOR> monitor_order_;
  // Which adapter each device handed out was created on.
  std::map<ID3D11Device*, size_t> device_adapters_;
  Record record_;
  bool secure_desktop_ = false;
  // Grows with every desktop switch; a duplication lives on the desktop it was made on.
  uint64_t desktop_generation_ = 0;
  uint64_t now_ms_ = 1000;
  int64_t present_clock_ = 0;
};

}  // namespace orvane::testing
