#pragma once

#include <linux/input.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orvane {

struct UinputAxis {
  uint16_t code = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t resolution = 0;  // units per millimetre (per radian for tilt)
};

// What an input device offers, all of it direct: it sits on the screen it points at.
struct UinputDeviceSpec {
  std::string name;
  uint16_t product = 0;
  std::vector<uint16_t> keys;
  std::vector<UinputAxis> axes;
};

// A writable descriptor of /dev/uinput, or -1 with errno set.
int OpenUinput();

// An input device this process made in the kernel: the event frames written to it become
// the device's events, which the display server reads like those of any touch screen or
// pen tablet.
class UinputDevice {
 public:
  // Sets the device up on `uinput_fd` (owned from now on) and creates it; nullptr with the
  // errno of the failing call in `error`.
  static std::unique_ptr<UinputDevice> Create(int uinput_fd, const UinputDeviceSpec& spec,
                                              int& error);
  // A descriptor that takes the event stream as it is (a pipe, in tests); owned.
  explicit UinputDevice(int fd) : fd_(fd) {}
  ~UinputDevice();
  UinputDevice(const UinputDevice&) = delete;
  UinputDevice& operator=(const UinputDevice&) = delete;

  // Writes `events` followed by SYN_REPORT in one write; 0, or the errno of the failure.
  int WriteFrame(std::vector<input_event>& events);

 private:
  UinputDevice(int fd, bool created) : fd_(fd), created_(created) {}

  const int fd_;
  const bool created_ = false;
};

// An event of a frame; the kernel stamps the time.
input_event UinputEvent(uint16_t type, uint16_t code, int32_t value);

// A desktop pixel on a device axis of `axis_extent` values that spans the desktop's
// `desktop_extent` pixels from `origin`; the two differ once the desktop is resized after
// the device was made.
int32_t DesktopToAxis(int32_t pixel, int32_t origin, int32_t desktop_extent, int32_t axis_extent);

}  // namespace orvane
