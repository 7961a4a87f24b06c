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
    auto slot = std::find_if(slots.begin(), slots.end(), [&](const auto& held) {
      return held && held->pointer_id == contact.pointer_id;
    });
    const auto slot_index = [&] { return static_cast<int32_t>(slot - slots.begin()); };
    if ((contact.flags & pointer_flag::kUp) != 0) {
      if (slot != slots.end()) {
        events.push_back(UinputEvent(EV_ABS, ABS_MT_SLOT, slot_index()));
        events.push_back(UinputEvent(EV_ABS, ABS_MT_TRACKING_ID, -1));
        slot->reset();
      }
      continue;
    }
    const SlotContact now{contact.pointer_id,
                          DesktopToAxis(contact.x, desktop.x, desktop.width, width_),
                          DesktopToAxis(contact.y, desktop.y, desktop.height, height_),
                          static_cast<int32_t>(contact.pressure)};
    if (slot == slots.end()) {
      slot = std::find(slots.begin(), slots.end(), std::nullopt);
      if (slot == slots.end()) {
        return SinkResult::Failure(ENOSPC);
      }
      events.push_back(UinputEvent(EV_ABS, ABS_MT_SLOT, slot_index()));
      events.push_back(UinputEvent(EV_ABS, ABS_MT_TRACKING_ID,
                                   static_cast<int32_t>(contact.pointer_id & kMaxTrackingId)));
    } else if (**slot == now) {
      continue;  // frames carry every contact; one that did not change has nothing to say
    } else {
      events.push_back(UinputEvent(EV_ABS, ABS_MT_SLOT, slot_index()));
    }
    *slot = now;
    events.push_back(UinputEvent(EV_ABS, ABS_MT_POSITION_X, now.x));
    events.push_back(UinputEvent(EV_ABS, ABS_MT_POSITION_Y, now.y));
    events.push_back(UinputEvent(EV_ABS, ABS_MT_PRESSURE, now.pressure));
    if ((contact.flags & pointer_flag::kPrimary) != 0) {
      events.push_back(UinputEvent(EV_ABS, ABS_X, now.x));
      events.push_back(UinputEvent(EV_ABS, ABS_Y, now.y));
    }
  }
  const bool touching =
      std::any_of(slots.begin(), slots.end(), [](const auto& slot) { return slot.has_value(); });
  if (touching != touching_) {
    events.push_back(UinputEvent(EV_KEY, BTN_TOUCH, touching ? 1 : 0));
  }
  if (events.empty()) {
    return {};
  }
  if (const int error = device_->WriteFrame(events); error != 0) {
    return SinkResult::Failure(static_cast<uint32_t>(error));
  }
  slots_ = slots;
  touching_ = touching;
  return {};
}

}  // namespace orvane
