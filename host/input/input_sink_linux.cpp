#include "input/input_sink_linux.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "base/logger.h"
#include "input/pointer_math.h"

namespace orvane {
namespace {

// When the server does not know the screen's physical size: 96 dpi.
constexpr int32_t kFallbackPixelsPerMm = 4;

// Opens /dev/uinput and makes a device there, saying what became of it in the words of
// `what` ("native touch", "synthetic pen").
std::unique_ptr<UinputDevice> MakeDevice(const UinputDeviceSpec& spec, const char* what) {
  const int fd = OpenUinput();
  if (fd < 0) {
    LOG_WARN(
        "[Input] /dev/uinput unavailable for %s injection (open err=%d), using mouse emulation",
        what, errno);
    return nullptr;
  }
  int error = 0;
  std::unique_ptr<UinputDevice> device = UinputDevice::Create(fd, spec, error);
  if (!device) {
    LOG_WARN("[Input] uinput %s device creation failed (err=%d), using mouse emulation", what,
             error);
  }
  return device;
}

}  // namespace

std::unique_ptr<LinuxInputSink> LinuxInputSink::Create(std::shared_ptr<X11DisplaySource> displays) {
  std::shared_ptr<X11Display> x11 = displays->Get();
  const std::optional<ScreenLayout> layout = x11 ? X11ScreenLayout(x11).Current() : std::nullopt;
  if (!layout) {
    LOG_WARN("[Input] No X display: input injection is off");
    return nullptr;
  }
  // The devices span the whole X screen, which is where the server maps them.
  const DesktopRect& desktop = layout->screen;
  const xcb_screen_t& screen = *x11->screen();
  const int32_t resolution = screen.width_in_millimeters > 0
                                 ? std::max(screen.width_in_pixels / screen.width_in_millimeters, 1)
                                 : kFallbackPixelsPerMm;

  std::unique_ptr<UinputTouchWriter> touch;
  if (auto device =
          MakeDevice(UinputTouchWriter::DeviceSpec(desktop.width, desktop.height, resolution),
                     "native touch")) {
    touch = std::make_unique<UinputTouchWriter>(std::move(device), desktop.width, desktop.height);
    LOG_INFO("[Input] Native multi-touch injection initialized (max_points=%u)",
             static_cast<unsigned>(UinputTouchWriter::kSlots));
  }
  std::unique_ptr<UinputPenWriter> pen;
  if (auto device =
          MakeDevice(UinputPenWriter::DeviceSpec(desktop.width, desktop.height, resolution),
                     "synthetic pen")) {
    pen = std::make_unique<UinputPenWriter>(std::move(device), desktop.width, desktop.height);
    LOG_INFO("[Input] Synthetic pen injection initialized");
  }
  return std::make_unique<LinuxInputSink>(std::move(displays), std::move(x11), std::move(touch),
                                          std::move(pen));
}

LinuxInputSink::LinuxInputSink(std::shared_ptr<X11DisplaySource> displays,
                               std::shared_ptr<X11Display> x11,
                               std::unique_ptr<UinputTouchWriter> touch,
                               std::unique_ptr<UinputPenWriter> pen)
    : displays_(std::move(displays)), touch_(std::move(touch)), pen_(std::move(pen)) {
  if (x11) {
    Attach(std::move(x11));
    if (!xtest_) {
      LOG_WARN("[Input] XTest unavailable on the X display: no mouse emulation and no keys");
    }
  }
  Desktop();
}

void LinuxInputSink::Attach(std::shared_ptr<X11Display> x11) {
  x11_ = std::move(x11);
  xtest_ = XTestInput::Open(x11_);
  screen_layout_ = std::make_unique<X11ScreenLayout>(x11_);
}

XTestInput* LinuxInputSink::LiveXTest() {
  if (x11_ == nullptr || x11_->lost()) {
    std::shared_ptr<X11Display> reopened = displays_ ? displays_->Get() : nullptr;
    if (reopened == nullptr) {
      return nullptr;
    }
    Attach(std::move(reopened));
  }
  return xtest_.get();
}

SinkResult LinuxInputSink::InjectTouch(std::span<const TouchContact> contacts) {
  return touch_->Write(contacts, screen_);
}

SinkResult LinuxInputSink::InjectPen(const PenSample& sample) {
  return pen_->Write(sample, screen_);
}

void LinuxInputSink::SendMouse(const MouseRecord& record) {
  if (XTestInput* xtest = LiveXTest()) {
    xtest->SendMouse(record);
  }
}

void LinuxInputSink::SendKey(const KeyRecord& record) {
  if (XTestInput* xtest = LiveXTest()) {
    xtest->SendKey(record);
  }
}

void LinuxInputSink::SetStreamedOutput(uint32_t output_index) {
  output_index_ = output_index;
}

DesktopRect LinuxInputSink::Desktop() {
  LiveXTest();
  if (screen_layout_ != nullptr) {
    if (const std::optional<ScreenLayout> layout = screen_layout_->Current()) {
      screen_ = layout->screen;
      desktop_ = StreamedMonitorArea(layout->monitors, output_index_, layout->screen);
    }
  }
  return desktop_;
}

}  // namespace orvane
