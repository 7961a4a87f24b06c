#include "input/input_records_win.h"

#include <cstdint>

#include "input/pointer_math.h"

namespace orvane {
namespace {

static_assert(sizeof(POINTER_TOUCH_INFO) == 144, "POINTER_TOUCH_INFO as published");
static_assert(sizeof(INPUT) == 40, "INPUT as published");

constexpr int32_t kContactHalfSize = 2;
constexpr UINT32 kTouchOrientation = 90;
constexpr DWORD kAbsoluteMove = MOUSEEVENTF_MOVE | MOUSEEVENTF_VIRTUALDESK | MOUSEEVENTF_ABSOLUTE;

}  // namespace

POINTER_TOUCH_INFO ToPointerTouchInfo(const TouchContact& contact) {
  POINTER_TOUCH_INFO info{};
  info.pointerInfo.pointerType = PT_TOUCH;
  info.pointerInfo.pointerId = contact.pointer_id;
  info.pointerInfo.pointerFlags = contact.flags;
  info.pointerInfo.ptPixelLocation = POINT{contact.x, contact.y};
  info.pointerInfo.ptPixelLocationRaw = info.pointerInfo.ptPixelLocation;
  info.touchFlags = TOUCH_FLAG_NONE;
  info.touchMask = TOUCH_MASK_CONTACTAREA | TOUCH_MASK_ORIENTATION | TOUCH_MASK_PRESSURE;
  info.rcContact = RECT{contact.x - kContactHalfSize, contact.y - kContactHalfSize,
                        contact.x + kContactHalfSize, contact.y + kContactHalfSize};
  info.rcContactRaw = info.rcContact;
  info.orientation = kTouchOrientation;
  info.pressure = contact.pressure;
  return info;
}

POINTER_TYPE_INFO ToPenPointerInfo(const PenSample& sample) {
  POINTER_TYPE_INFO info{};
  info.type = PT_PEN;
  POINTER_PEN_INFO& pen = info.penInfo;
  pen.pointerInfo.pointerType = PT_PEN;
  pen.pointerInfo.pointerId = 1;
  pen.pointerInfo.pointerFlags = sample.flags;
  pen.pointerInfo.ptPixelLocation = POINT{sample.x, sample.y};
  pen.pointerInfo.ptPixelLocationRaw = pen.pointerInfo.ptPixelLocation;
  pen.pointerInfo.ButtonChangeType = static_cast<POINTER_BUTTON_CHANGE_TYPE>(sample.button_change);
  pen.penFlags = sample.barrel ? PEN_FLAG_BARREL : PEN_FLAG_NONE;
  pen.penMask = PEN_MASK_PRESSURE | PEN_MASK_ROTATION | PEN_MASK_TILT_X | PEN_MASK_TILT_Y;
  pen.pressure = sample.pressure;
  pen.rotation = sample.rotation;
  pen.tiltX = sample.tilt_x;
  pen.tiltY = sample.tilt_y;
  return info;
}

INPUT ToMouseInput(const MouseRecord& record, const DesktopRect& desktop) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = record.buttons;
  if (record.move) {
    input.mi.dx = AbsoluteMouseCoordinate(record.x, desktop.x, desktop.width);
    input.mi.dy = AbsoluteMouseCoordinate(record.y, desktop.y, desktop.height);
    input.mi.dwFlags |= kAbsoluteMove;
  }
  return input;
}

INPUT ToKeyInput(const KeyRecord& record, UINT scan_code) {
  // An E0 or E1 prefix marks a key of the extended set (the arrows, Insert, Delete, Home,
  // End, the page keys, right Ctrl and Alt), which without the flag would read as keypad.
  const bool prefixed = (scan_code & 0xFF00) == 0xE000 || (scan_code & 0xFF00) == 0xE100;
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = record.virtual_key;
  input.ki.wScan = static_cast<WORD>(scan_code & 0xFF);
  input.ki.dwFlags = (record.up ? KEYEVENTF_KEYUP : 0u) |
                     (record.extended || prefixed ? KEYEVENTF_EXTENDEDKEY : 0u);
  return input;
}

}  // namespace orvane
