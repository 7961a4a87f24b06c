#pragma once

#include <windows.h>

#include "input/input_sink.h"

namespace orvane {

// The Windows records of the sink's frames, as the injection functions take them.

// A 4-pixel square contact of orientation 90 with contact area, orientation and pressure.
POINTER_TOUCH_INFO ToPointerTouchInfo(const TouchContact& contact);
// Pointer 1 of the pen device, with pressure, rotation and both tilts.
POINTER_TYPE_INFO ToPenPointerInfo(const PenSample& sample);
// An absolute move is scaled to 0..65535 over `desktop`, the virtual desktop.
INPUT ToMouseInput(const MouseRecord& record, const DesktopRect& desktop);
// A virtual-key code with its scan code as MapVirtualKeyW(MAPVK_VK_TO_VSC_EX) gives it;
// a prefixed scan code makes the key extended.
INPUT ToKeyInput(const KeyRecord& record, UINT scan_code);

}  // namespace orvane
