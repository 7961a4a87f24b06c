#include "input/input_records_win.h"

#include <gtest/gtest.h>

namespace orvane::testing {
namespace {

TEST(InputRecordsWinTest, ATouchContactIsAFourPixelSquareWithPressure) {
  const POINTER_TOUCH_INFO info = ToPointerTouchInfo(TouchContact{101, 300, 200, 1024, 0x12006});
  EXPECT_EQ(info.pointerInfo.pointerType, static_cast<POINTER_INPUT_TYPE>(PT_TOUCH));
  EXPECT_EQ(info.pointerInfo.pointerId, 101u);
  EXPECT_EQ(info.pointerInfo.pointerFlags, 0x12006u);
  EXPECT_EQ(info.pointerInfo.ptPixelLocation.x, 300);
  EXPECT_EQ(info.pointerInfo.ptPixelLocationRaw.y, 200);
  EXPECT_EQ(info.touchMask, 7u);
  EXPECT_EQ(info.rcContact.left, 298);
  EXPECT_EQ(info.rcContact.top, 198);
  EXPECT_EQ(info.rcContactRaw.right, 302);
  EXPECT_EQ(info.rcContactRaw.bottom, 202);
  EXPECT_EQ(info.orientation, 90u);
  EXPECT_EQ(info.pressure, 1024u);
}

TEST(InputRecordsWinTest, APenSampleIsPointerOneWithItsButtonsAndAngles) {
  PenSample sample;
  sample.x = -5;
  sample.y = 7;
  sample.flags = 0x22036;
  sample.button_change = PenButtonChange::kFirstButtonUp;
  sample.barrel = true;
  sample.pressure = 512;
  sample.tilt_x = -90;
  sample.tilt_y = 28;
  sample.rotation = 331;
  const POINTER_TYPE_INFO info = ToPenPointerInfo(sample);
  EXPECT_EQ(info.type, static_cast<POINTER_INPUT_TYPE>(PT_PEN));
  const POINTER_PEN_INFO& pen = info.penInfo;
  EXPECT_EQ(pen.pointerInfo.pointerType, static_cast<POINTER_INPUT_TYPE>(PT_PEN));
  EXPECT_EQ(pen.pointerInfo.pointerId, 1u);
  EXPECT_EQ(pen.pointerInfo.pointerFlags, 0x22036u);
  EXPECT_EQ(pen.pointerInfo.ptPixelLocationRaw.x, -5);
  EXPECT_EQ(pen.pointerInfo.ButtonChangeType, POINTER_CHANGE_FIRSTBUTTON_UP);
  EXPECT_EQ(pen.penFlags, static_cast<PEN_FLAGS>(PEN_FLAG_BARREL));
  EXPECT_EQ(pen.penMask, 15u);
  EXPECT_EQ(std::make_tuple(pen.pressure, pen.tiltX, pen.tiltY, pen.rotation),
            std::make_tuple(512u, -90, 28, 331u));
}

TEST(InputRecordsWinTest, MouseMovesScaleOverTheVirtualDesktopAndLiftsMoveNothing) {
  const DesktopRect desktop{-1920, 0, 3840, 1080};
  struct Case {
    MouseRecord record;
    LONG dx, dy;
    DWORD flags;
  };
  const Case cases[] = {
      {{true, -1920, 0, 0}, 0, 0, 0xC001},
      {{true, 1919, 1079, mouse_button::kLeftDown}, 65535, 65535, 0xC003},
      {{true, 0, 540, mouse_button::kLeftUp | mouse_button::kRightUp}, 32776, 32797, 0xC015},
      {{false, 0, 0, mouse_button::kLeftUp}, 0, 0, 0x0004},
  };
  for (const Case& c : cases) {
    const INPUT input = ToMouseInput(c.record, desktop);
    EXPECT_EQ(input.type, static_cast<DWORD>(INPUT_MOUSE));
    EXPECT_EQ(input.mi.dx, c.dx);
    EXPECT_EQ(input.mi.dy, c.dy);
    EXPECT_EQ(input.mi.dwFlags, c.flags);
    EXPECT_EQ(input.mi.mouseData, 0u);
  }
}

TEST(InputRecordsWinTest, KeysCarryTheirCodesAndAPrefixedScanCodeMakesThemExtended) {
  const INPUT left_up = ToKeyInput(KeyRecord{0x25, true, true}, 0xE04B);
  EXPECT_EQ(left_up.type, static_cast<DWORD>(INPUT_KEYBOARD));
  EXPECT_EQ(left_up.ki.wVk, 0x25);
  EXPECT_EQ(left_up.ki.wScan, 0x4B);
  EXPECT_EQ(left_up.ki.dwFlags, static_cast<DWORD>(KEYEVENTF_KEYUP | KEYEVENTF_EXTENDEDKEY));
  const INPUT a_down = ToKeyInput(KeyRecord{0x41, false, false}, 0x1E);
  EXPECT_EQ(a_down.ki.wScan, 0x1E);
  EXPECT_EQ(a_down.ki.dwFlags, 0u);
  const INPUT delete_down = ToKeyInput(KeyRecord{VK_DELETE, false, false}, 0xE053);
  EXPECT_EQ(delete_down.ki.dwFlags, static_cast<DWORD>(KEYEVENTF_EXTENDEDKEY));
  const INPUT pause_down = ToKeyInput(KeyRecord{VK_PAUSE, false, false}, 0xE11D);
  EXPECT_EQ(pause_down.ki.dwFlags, static_cast<DWORD>(KEYEVENTF_EXTENDEDKEY));
  const INPUT unmapped = ToKeyInput(KeyRecord{0xFF, false, false}, 0);
  EXPECT_EQ(unmapped.ki.wScan, 0);
}

}  // namespace
}  // namespace orvane::testing
