#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "input/input_sink.h"
#include "input/uinput_device_uinput.h"

namespace orvane {

// Turns touch frames into the event stream of a multi-touch screen (slots, type B): each
// contact gets a slot while it touches, and the first finger also drives the single-touch
// axes that older readers use. Only what changed is written: a frame repeats every held
// contact, and one that repeats them all unchanged writes nothing.
class UinputTouchWriter {
 public:
  static constexpr int kSlots = 10;

  // The device that fits the writer, `width` x `height` units, `resolution` units per mm.
  static UinputDeviceSpec DeviceSpec(int32_t width, int32_t height, int32_t resolution);

  UinputTouchWriter(std::unique_ptr<UinputDevice> device, int32_t width, int32_t height);

  // One frame; fails with ENOSPC, writing nothing, when a new contact finds no free slot.
  SinkResult Write(std::span<const TouchContact> contacts, const DesktopRect& desktop);

 private:
  std::unique_ptr<UinputDevice> device_;
  const int32_t width_;
  const int32_t height_;
  struct SlotContact {
    uint32_t pointer_id = 0;
    int32_t x = 0;  // axis units
    int32_t y = 0;
    int32_t pressure = 0;
    bool operator==(const SlotContact&) const = default;
  };
  // The contact each slot holds, as last written.
  std::array<std::optional<SlotContact>, kSlots> slots_;
  bool touching_ = false;
};

}  // namespace orvane
