#include "input/input_sink_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "input/input_injector.h"
#include "input/touch_injection_contract.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;
using Point = TouchInjectionContract::Point;

constexpr uint32_t kDown = 0, kMove = 1, kUp = 2;
constexpr uint32_t kPenHoverEnter = 3, kPenHoverExit = 5;

// Two monitors: a 1920x1080 one left of (and so at a negative origin from) the primary
// 2560x1440 one, enumerated left first.
const RECT kMonitors[] = {{-1920, 0, 0, 1080}, {0, 0, 2560, 1440}};
const DesktopRect kVirtualDesktop{-1920, 0, 4480, 1440};

// user32 as Microsoft documents it, for the calls Wine cannot make: touch injection
// (the contract of TouchInjectionContract, on the test's clock), the synthetic pen,
// SendInput (which UIPI makes refuse without a word when the foreground window belongs
// to a process of higher integrity), MapVirtualKeyW and the monitor layout above.
class FakeUser32 {
 public:
  enum class Pen { kAway, kHovering, kTouching };

  WindowsInputApi Api(bool touch, bool pen) {
    WindowsInputApi api;
    if (touch) {
      api.initialize_touch_injection = [this](UINT32 max_count, DWORD) {
        touch_max_ = max_count;
        return TRUE;
      };
      api.inject_touch_input = [this](UINT32 count, const POINTER_TOUCH_INFO* infos) {
        return InjectTouchInput(count, infos);
      };
    }
    if (pen) {
      api.create_synthetic_pointer_device = [this](POINTER_INPUT_TYPE type, ULONG max_count,
                                                   POINTER_FEEDBACK_MODE) {
        return type == PT_PEN && max_count == 1 ? device_ : nullptr;
      };
      api.inject_synthetic_pointer_input = [this](SyntheticPointerDevice device,
                                                  const POINTER_TYPE_INFO* info, UINT32 count) {
        return InjectPen(device, info, count);
      };
      api.destroy_synthetic_pointer_device = [](SyntheticPointerDevice) {};
    }
    api.send_input = [this](UINT count, INPUT* inputs, int size) {
      if (size != sizeof(INPUT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0u;
      }
      if (foreground_integrity > own_integrity) {
        SetLastError(ERROR_SUCCESS);
        return 0u;
      }
      inputs_.insert(inputs_.end(), inputs, inputs + count);
      return count;
    };
    api.map_virtual_key = [](UINT code, UINT map_type) -> UINT {
      const std::pair<UINT, UINT> scan_codes[] = {
          {0x41, 0x1E}, {VK_RETURN, 0x1C}, {VK_LEFT, 0xE04B}, {VK_DELETE, 0xE053}};
      for (const auto& [key, scan] : scan_codes) {
        if (key == code) {
          return map_type == MAPVK_VK_TO_VSC_EX ? scan : scan & 0xFF;
        }
      }
      return 0;
    };
    api.own_integrity = [this] { return std::optional<DWORD>(own_integrity); };
    api.foreground_integrity = [this] { return std::optional<DWORD>(foreground_integrity); };
    api.enum_display_monitors = [](HDC, const RECT*, MONITORENUMPROC visit, LPARAM data) {
      for (size_t i = 0; i < std::size(kMonitors); ++i) {
        if (!visit(reinterpret_cast<HMONITOR>(i + 1), nullptr, nullptr, data)) {
          break;
        }
      }
      return TRUE;
    };
    api.get_monitor_info = [](HMONITOR monitor, MONITORINFO* info) {
      const auto index = reinterpret_cast<uintptr_t>(monitor) - 1;
      if (index >= std::size(kMonitors) || info->cbSize < sizeof(MONITORINFO)) {
        return FALSE;
      }
      info->rcMonitor = kMonitors[index];
      info->rcWork = kMonitors[index];
      info->dwFlags = index == 1 ? MONITORINFOF_PRIMARY : 0;
      return TRUE;
    };
    api.get_system_metrics = [](int index) {
      switch (index) {
        case SM_XVIRTUALSCREEN:
          return kVirtualDesktop.x;
        case SM_YVIRTUALSCREEN:
          return kVirtualDesktop.y;
        case SM_CXVIRTUALSCREEN:
          return kVirtualDesktop.width;
        case SM_CYVIRTUALSCREEN:
          return kVirtualDesktop.height;
        default:
          return 0;
      }
    };
    return api;
  }

  std::chrono::milliseconds now{5000};
  DWORD own_integrity = SECURITY_MANDATORY_MEDIUM_RID;
  DWORD foreground_integrity = SECURITY_MANDATORY_MEDIUM_RID;

  const TouchInjectionContract& touch() const { return touch_; }
  Pen pen() const { return pen_; }
  const std::vector<std::string>& pen_faults() const { return pen_faults_; }
  const std::vector<INPUT>& inputs() const { return inputs_; }

 private:
  BOOL Fail() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  BOOL InjectTouchInput(UINT32 count, const POINTER_TOUCH_INFO* infos) {
    if (touch_max_ == 0) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    std::vector<TouchContact> frame;
    for (UINT32 i = 0; i < count; ++i) {
      const POINTER_INFO& pointer = infos[i].pointerInfo;
      if (pointer.pointerType != PT_TOUCH) {
        return Fail();
      }
      frame.push_back(TouchContact{pointer.pointerId, pointer.ptPixelLocation.x,
                                   pointer.ptPixelLocation.y, infos[i].pressure,
                                   pointer.pointerFlags});
    }
    return count <= touch_max_ && touch_.Frame(frame, now) ? TRUE : Fail();
  }

  // A pen goes down from hovering, lifts back to hovering with an UP that is no longer in
  // contact, and leaves with an update that is neither in range nor in contact.
  BOOL InjectPen(SyntheticPointerDevice device, const POINTER_TYPE_INFO* info, UINT32 count) {
    if (device != device_ || count != 1 || info->type != PT_PEN) {
      return Fail();
    }
    const UINT32 flags = info->penInfo.pointerInfo.pointerFlags;
    const bool down = (flags & POINTER_FLAG_DOWN) != 0;
    const bool update = (flags & POINTER_FLAG_UPDATE) != 0;
    const bool up = (flags & POINTER_FLAG_UP) != 0;
    const bool in_range = (flags & POINTER_FLAG_INRANGE) != 0;
    const bool in_contact = (flags & POINTER_FLAG_INCONTACT) != 0;
    const auto refuse = [&](const char* why) {
      pen_faults_.push_back(why);
      return Fail();
    };
    if (down + update + up != 1) {
      return refuse("not exactly one of DOWN, UPDATE, UP");
    }
    if (down) {
      if (pen_ == Pen::kTouching || !in_range || !in_contact) {
        return refuse("DOWN not from hovering into contact");
      }
      pen_ = Pen::kTouching;
    } else if (up) {
      if (in_contact) {
        return refuse("UP still in contact");
      }
      if (pen_ != Pen::kTouching) {
        return refuse("UP of a pen not touching");
      }
      pen_ = in_range ? Pen::kHovering : Pen::kAway;
    } else if (in_contact) {
      if (pen_ != Pen::kTouching || !in_range) {
        return refuse("contact UPDATE of a pen not touching");
      }
    } else {
      if (pen_ == Pen::kTouching) {
        return refuse("UPDATE out of contact without an UP");
      }
      pen_ = in_range ? Pen::kHovering : Pen::kAway;
    }
    return TRUE;
  }

  const SyntheticPointerDevice device_ = reinterpret_cast<SyntheticPointerDevice>(0x5E7);
  UINT32 touch_max_ = 0;
  TouchInjectionContract touch_{kVirtualDesktop, 10};
  Pen pen_ = Pen::kAway;
  std::vector<std::string> pen_faults_;
  std::vector<INPUT> inputs_;
};

class InputSinkWinTest : public ::testing::Test {
 protected:
  void Build(bool touch, bool pen, uint32_t output = 0) {
    injector_ =
        std::make_unique<InputInjector>(std::make_unique<WindowsInputSink>(user32_.Api(touch, pen)),
                                        [this] { return user32_.now; });
    injector_->SetStreamedOutput(output);
  }

  // Every event is followed by the tick the receive thread runs before it waits.
  void Touch(uint32_t action, uint32_t finger, float x, float y) {
    injector_->InjectTouch(action, finger, x, y, 0.5f);
    Waited();
  }
  void Pen(uint32_t action, float x, float y) {
    injector_->InjectPen(action, x, y, 0.5f, 0.0f, 0.0f, 0.0f, 0);
    Waited();
  }
  // Time passes without a datagram; the wait ends when the tick asked for it.
  void Pass(std::chrono::milliseconds span) {
    for (const auto end = user32_.now + span; user32_.now < end;) {
      user32_.now += 10ms;
      if (next_tick_ && user32_.now >= *next_tick_) {
        Waited();
      }
    }
  }
  void Waited() {
    const auto wait = injector_->Tick();
    next_tick_ = wait ? std::optional(user32_.now + *wait) : std::nullopt;
  }

  std::vector<const MOUSEINPUT*> Mice() const {
    std::vector<const MOUSEINPUT*> mice;
    for (const INPUT& input : user32_.inputs()) {
      if (input.type == INPUT_MOUSE) {
        mice.push_back(&input.mi);
      }
    }
    return mice;
  }

  LogCapture log_;
  FakeUser32 user32_;
  std::optional<std::chrono::milliseconds> next_tick_;
  std::unique_ptr<InputInjector> injector_;
};

TEST_F(InputSinkWinTest, PinchLongPressAndPauseThenDragAreInjectedAsTheContractWants) {
  Build(true, false, 1);
  // A pinch: both fingers in every frame, each lifted where it last was.
  Touch(kDown, 1, 0.4f, 0.5f);
  Touch(kDown, 2, 0.6f, 0.5f);
  for (int step = 1; step <= 5; ++step) {
    Pass(16ms);
    Touch(kMove, 1, 0.4f - 0.04f * static_cast<float>(step), 0.5f);
    Touch(kMove, 2, 0.6f + 0.04f * static_cast<float>(step), 0.5f);
  }
  Touch(kUp, 2, 0.81f, 0.5f);
  Touch(kUp, 1, 0.19f, 0.5f);
  // A long press: a second without a movement.
  Pass(500ms);
  Touch(kDown, 3, 0.5f, 0.5f);
  Pass(1000ms);
  Touch(kUp, 3, 0.5f, 0.5f);
  // A pause, then a drag.
  Touch(kDown, 4, 0.1f, 0.9f);
  Pass(300ms);
  for (int step = 1; step <= 4; ++step) {
    Touch(kMove, 4, 0.1f + 0.2f * static_cast<float>(step), 0.9f);
    Pass(16ms);
  }
  Touch(kUp, 4, 0.9f, 0.9f);

  const TouchInjectionContract& touch = user32_.touch();
  EXPECT_TRUE(touch.faults().empty()) << touch.faults().front();
  ASSERT_EQ(touch.strokes().size(), 4u);
  for (const auto& stroke : touch.strokes()) {
    SCOPED_TRACE(stroke.id);
    EXPECT_TRUE(stroke.ended);
    EXPECT_FALSE(stroke.cancelled);
  }
  // Output 1 is the 2560x1440 monitor at the origin.
  EXPECT_EQ(touch.strokes()[0].path.back(), (Point{511, 719}));
  EXPECT_EQ(touch.strokes()[1].path.back(), (Point{2047, 719}));
  EXPECT_GE(touch.strokes()[2].ended_at - touch.strokes()[2].down_at, 1000ms);
  EXPECT_EQ(touch.strokes()[3].path.back(), (Point{2303, 1295}));
  EXPECT_TRUE(Mice().empty());
}

TEST_F(InputSinkWinTest, APenLiftsToHoverAndLeavesRangeWithoutTheMouse) {
  Build(false, true);
  Pen(kPenHoverEnter, 0.5f, 0.5f);
  Pen(kDown, 0.5f, 0.5f);
  Pen(kMove, 0.6f, 0.5f);
  Pen(kUp, 0.6f, 0.5f);
  Pen(kPenHoverExit, 0.6f, 0.5f);
  EXPECT_TRUE(user32_.pen_faults().empty()) << user32_.pen_faults().front();
  EXPECT_EQ(user32_.pen(), FakeUser32::Pen::kAway);
  // Leaving while touching lifts and leaves.
  Pen(kPenHoverEnter, 0.5f, 0.5f);
  Pen(kDown, 0.5f, 0.5f);
  Pen(kPenHoverExit, 0.5f, 0.5f);
  EXPECT_TRUE(user32_.pen_faults().empty()) << user32_.pen_faults().front();
  EXPECT_EQ(user32_.pen(), FakeUser32::Pen::kAway);
  EXPECT_TRUE(Mice().empty());
  EXPECT_FALSE(log_.Contains("Synthetic pen injection failed"));
}

TEST_F(InputSinkWinTest, TouchMapsOntoTheStreamedMonitorAndTheMouseOverTheVirtualDesktop) {
  struct Case {
    uint32_t output;
    float x, y;
    LONG dx, dy;  // SendInput's absolute coordinates of the mapped pixel
  };
  // Pixels: output 0 spans x -1920..-1, output 1 x 0..2559; output 7 does not exist and
  // falls back to output 0 as capture does.
  const Case cases[] = {
      {0, 0.0f, 0.0f, 0, 0},          // (-1920, 0)
      {0, 0.5f, 0.5f, 14031, 24547},  // (-961, 539)
      {0, 1.0f, 1.0f, 28078, 49139},  // (-1, 1079)
      {1, 0.0f, 0.0f, 28092, 0},      // (0, 0)
      {1, 0.5f, 0.5f, 46806, 32744},  // (1279, 719)
      {1, 1.0f, 1.0f, 65535, 65535},  // (2559, 1439)
      {7, 0.5f, 0.5f, 14031, 24547},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    SCOPED_TRACE(c.x);
    Build(false, false, c.output);
    Touch(kDown, 1, c.x, c.y);
    Touch(kUp, 1, c.x, c.y);
    const auto mice = Mice();
    ASSERT_FALSE(mice.empty());
    EXPECT_EQ(mice.back()->dwFlags & MOUSEEVENTF_VIRTUALDESK,
              static_cast<DWORD>(MOUSEEVENTF_VIRTUALDESK));
    EXPECT_EQ(mice.back()->dx, c.dx);
    EXPECT_EQ(mice.back()->dy, c.dy);
  }
}

TEST_F(InputSinkWinTest, KeysCarryTheirScanCodesAndExtendedKeysTheirFlag) {
  Build(false, false);
  for (const uint32_t key : {0x41u, static_cast<uint32_t>(VK_DELETE),
                             static_cast<uint32_t>(VK_LEFT), static_cast<uint32_t>(VK_RETURN)}) {
    injector_->InjectKey(0, key);
  }
  std::vector<std::tuple<WORD, WORD, bool>> keys;
  for (const INPUT& input : user32_.inputs()) {
    keys.emplace_back(input.ki.wVk, input.ki.wScan,
                      (input.ki.dwFlags & KEYEVENTF_EXTENDEDKEY) != 0);
    EXPECT_EQ(input.ki.dwFlags & KEYEVENTF_SCANCODE, 0u);  // the virtual key stays in charge
  }
  EXPECT_EQ(keys, (std::vector<std::tuple<WORD, WORD, bool>>{
                      {0x41, 0x1E, false},
                      {VK_DELETE, 0x53, true},  // not the keypad's Delete
                      {VK_LEFT, 0x4B, true},
                      {VK_RETURN, 0x1C, false},
                  }));
}

TEST_F(InputSinkWinTest, InputRefusedByAnElevatedForegroundWindowIsLoggedOnceAsSuch) {
  Build(false, false);
  user32_.foreground_integrity = SECURITY_MANDATORY_HIGH_RID;
  injector_->InjectKey(0, 0x41);
  injector_->InjectKey(1, 0x41);
  Touch(kDown, 1, 0.5f, 0.5f);
  EXPECT_TRUE(user32_.inputs().empty());
  EXPECT_EQ(log_.Count("higher integrity level"), 1u);

  user32_.foreground_integrity = SECURITY_MANDATORY_MEDIUM_RID;
  Touch(kUp, 1, 0.5f, 0.5f);
  EXPECT_EQ(user32_.inputs().size(), 1u);
  user32_.foreground_integrity = SECURITY_MANDATORY_SYSTEM_RID;
  injector_->InjectKey(0, 0x41);  // refused again after input got through: said again
  EXPECT_EQ(log_.Count("higher integrity level"), 2u);
}

}  // namespace
}  // namespace orvane::testing
