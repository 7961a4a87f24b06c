#include "input/uinput_device_uinput.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvane {
namespace {

constexpr uint16_t kOrvaneVendor = 0x4F56;  // "OV"

bool Control(int fd, unsigned long request, unsigned long value) {
  return ioctl(fd, request, value) == 0;
}

bool SetUp(int fd, const UinputDeviceSpec& spec) {
  if (!Control(fd, UI_SET_EVBIT, EV_SYN) || !Control(fd, UI_SET_EVBIT, EV_KEY) ||
      !Control(fd, UI_SET_EVBIT, EV_ABS) || !Control(fd, UI_SET_PROPBIT, INPUT_PROP_DIRECT)) {
    return false;
  }
  for (const uint16_t key : spec.keys) {
    if (!Control(fd, UI_SET_KEYBIT, key)) {
      return false;
    }
  }
  for (const UinputAxis& axis : spec.axes) {
    uinput_abs_setup abs{};
    abs.code = axis.code;
    abs.absinfo.minimum = axis.minimum;
    abs.absinfo.maximum = axis.maximum;
    abs.absinfo.resolution = axis.resolution;
    if (!Control(fd, UI_SET_ABSBIT, axis.code) || ioctl(fd, UI_ABS_SETUP, &abs) != 0) {
      return false;
    }
  }
  uinput_setup setup{};
  setup.id.bustype = BUS_VIRTUAL;
  setup.id.vendor = kOrvaneVendor;
  setup.id.product = spec.product;
  setup.id.version = 1;
  std::strncpy(setup.name, spec.name.c_str(), UINPUT_MAX_NAME_SIZE - 1);
  return ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
}

}  // namespace

int OpenUinput() {
  return open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

std::unique_ptr<UinputDevice> UinputDevice::Create(int uinput_fd, const UinputDeviceSpec& spec,
                                                   int& error) {
  if (!SetUp(uinput_fd, spec)) {
    error = errno;
    close(uinput_fd);
    return nullptr;
  }
  return std::unique_ptr<UinputDevice>(new UinputDevice(uinput_fd, true));
}

UinputDevice::~UinputDevice() {
  if (created_) {
    ioctl(fd_, UI_DEV_DESTROY);
  }
  close(fd_);
}

int UinputDevice::WriteFrame(std::vector<input_event>& events) {
  events.push_back(UinputEvent(EV_SYN, SYN_REPORT, 0));
  const auto* bytes = reinterpret_cast<const char*>(events.data());
  const size_t size = events.size() * sizeof(input_event);
  ssize_t written = 0;
  do {
    written = write(fd_, bytes, size);
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    return errno;
  }
  return static_cast<size_t>(written) == size ? 0 : EIO;
}

input_event UinputEvent(uint16_t type, uint16_t code, int32_t value) {
  input_event event{};
  event.type = type;
  event.code = code;
  event.value = value;
  return event;
}

int32_t DesktopToAxis(int32_t pixel, int32_t origin, int32_t desktop_extent, int32_t axis_extent) {
  if (desktop_extent == axis_extent) {
    return pixel - origin;
  }
  const int64_t scaled =
      int64_t{pixel - origin} * std::max(axis_extent - 1, 1) / std::max(desktop_extent - 1, 1);
  return static_cast<int32_t>(std::clamp<int64_t>(scaled, 0, std::max(axis_extent - 1, 0)));
}

}  // namespace orvane
