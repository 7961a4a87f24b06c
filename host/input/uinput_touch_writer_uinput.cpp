#include "input/uinput_touch_writer_uinput.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace orvane {
namespace {

constexpr int32_t kMaxPressure = 1024;
constexpr int32_t kMaxTrackingId = 0xFFFF;

}  // namespace

UinputDeviceSpec UinputTouchWriter::DeviceSpec(int32_t width, int32_t height, int32_t resolution) {
  UinputDeviceSpec spec;
  spec.name = "Orvane Display Touch";
  spec.product = 1;
  spec.keys = {BTN_TOUCH};
  spec.axes = {
      {ABS_X, 0, width - 1, resolution},
      {ABS_Y, 0, height - 1, resolution},
      {ABS_MT_SLOT, 0, kSlots - 1, 0},
      {ABS_MT_TRACKING_ID, 0, kMaxTrackingId, 0},
      {ABS_MT_POSITION_X, 0, width - 1, resolution},
      {ABS_MT_POSITION_Y, 0, height - 1, resolution},
      {ABS_MT_PRESSURE, 0, kMaxPressure, 0},
  };
  return spec;
}

UinputTouchWriter::UinputTouchWriter(std::unique_ptr<UinputDevice> device, int32_t width,
                                     int32_t height)
    : device_(std::move(device)), width_(width), height_(height) {}

SinkResult UinputTouchWriter::Write(std::span<const TouchContact> contacts,
                                    const DesktopRect& desktop) {
  // Slots change only once the frame is written.
  auto slots = slots_;
  std::vector<input_event> events;
  events.reserve(contacts.size() * 6 + 2);
  for (const TouchContact& contact : contacts) {
    auto slot = std::find(slots.begin(), slots.end(), contact.pointer_id);
    if ((contact.flags & pointer_flag::kUp) != 0) {
      if (slot != slots.end()) {
        events.push_back(
            UinputEvent(EV_ABS, ABS_MT_SLOT, static_cast<int32_t>(slot - slots.begin())));
        events.push_back(UinputEvent(EV_ABS, ABS_MT_TRACKING_ID, -1));
        slot->reset();
      }
      continue;
    }
    if (slot == slots.end()) {
      slot = std::find(slots.begin(), slots.end(), std::nullopt);
      if (slot == slots.end()) {
        return SinkResult::Failure(ENOSPC);
      }
      *slot = contact.pointer_id;
      events.push_back(
          UinputEvent(EV_ABS, ABS_MT_SLOT, static_cast<int32_t>(slot - slots.begin())));
      events.push_back(UinputEvent(EV_ABS, ABS_MT_TRACKING_ID,
                                   static_cast<int32_t>(contact.pointer_id & kMaxTrackingId)));
    } else {
      events.push_back(
          UinputEvent(EV_ABS, ABS_MT_SLOT, static_cast<int32_t>(slot - slots.begin())));
    }
    const int32_t x = DesktopToAxis(contact.x, desktop.x, desktop.width, width_);
    const int32_t y = DesktopToAxis(contact.y, desktop.y, desktop.height, height_);
    events.push_back(UinputEvent(EV_ABS, ABS_MT_POSITION_X, x));
    events.push_back(UinputEvent(EV_ABS, ABS_MT_POSITION_Y, y));
    events.push_back(UinputEvent(EV_ABS, ABS_MT_PRESSURE, static_cast<int32_t>(contact.pressure)));
    if ((contact.flags & pointer_flag::kPrimary) != 0) {
      events.push_back(UinputEvent(EV_ABS, ABS_X, x));
      events.push_back(UinputEvent(EV_ABS, ABS_Y, y));
    }
  }
  const bool touching =
      std::any_of(slots.begin(), slots.end(), [](const auto& slot) { return slot.has_value(); });
  if (touching != touching_) {
    events.push_back(UinputEvent(EV_KEY, BTN_TOUCH, touching ? 1 : 0));
  }
  if (const int error = device_->WriteFrame(events); error != 0) {
    return SinkResult::Failure(static_cast<uint32_t>(error));
  }
  slots_ = slots;
  touching_ = touching;
  return {};
}

}  // namespace orvane
