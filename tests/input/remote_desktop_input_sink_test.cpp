#include "input/remote_desktop_input_sink.h"

#include "input/input_injector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orvane {
namespace {

namespace pf = pointer_flag;

// Records what the sink asks of the session, as text.
class RecordingSession final : public RemoteDesktopInput {
 public:
  std::optional<StreamArea> area = StreamArea{100, 50};
  bool running = true;
  std::vector<std::string> calls;

  std::optional<StreamArea> Area() override { return area; }
  bool PointerMotionAbsolute(double x, double y) override { return Record("move " + Xy(x, y)); }
  bool PointerButton(int32_t button, bool pressed) override {
    return Record("button " + std::to_string(button) + (pressed ? " down" : " up"));
  }
  bool KeyboardKeysym(uint32_t keysym, bool pressed) override {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", keysym);
    return Record(std::string("key ") + text + (pressed ? " down" : " up"));
  }
  bool TouchDown(uint32_t slot, double x, double y) override {
    return Record("down " + std::to_string(slot) + " " + Xy(x, y));
  }
  bool TouchMotion(uint32_t slot, double x, double y) override {
    return Record("motion " + std::to_string(slot) + " " + Xy(x, y));
  }
  bool TouchUp(uint32_t slot) override { return Record("up " + std::to_string(slot)); }

 private:
  static std::string Xy(double x, double y) {
    char text[48];
    std::snprintf(text, sizeof text, "%g,%g", x, y);
    return text;
  }
  bool Record(std::string call) {
    if (running) {
      calls.push_back(std::move(call));
    }
    return running;
  }
};

constexpr uint32_t kTouching = pf::kInRange | pf::kInContact;

TEST(RemoteDesktopInputSinkTest, FingersTakeTheLowestFreeSlotAndStayInsideTheStream) {
  auto session = std::make_shared<RecordingSession>();
  RemoteDesktopInputSink sink(session);
  const DesktopRect desktop = sink.Desktop();
  EXPECT_EQ(desktop.x, 0);
  EXPECT_EQ(desktop.y, 0);
  EXPECT_EQ(desktop.width, 100);
  EXPECT_EQ(desktop.height, 50);

  const struct {
    std::vector<TouchContact> frame;
    std::vector<std::string> calls;
  } steps[] = {
      {{{100, 10, 10, 1, pf::kDown | kTouching}}, {"down 0 10,10"}},
      {{{100, 12, 11, 1, pf::kUpdate | kTouching}, {101, 200, -5, 1, pf::kDown | kTouching}},
       {"motion 0 12,11", "down 1 99,0"}},
      // The first finger lifts; a new one takes its slot, the second keeps its own.
      {{{100, 12, 11, 0, pf::kUp}, {101, 90, 49, 1, pf::kUpdate | kTouching}},
       {"up 0", "motion 1 90,49"}},
      {{{102, 5, 5, 1, pf::kDown | kTouching}, {101, 90, 49, 0, pf::kCanceled}},
       {"down 0 5,5", "up 1"}},
      // A hovering contact never touched; an up for it sends nothing.
      {{{103, 5, 5, 1, pf::kUpdate | pf::kInRange}, {103, 5, 5, 0, pf::kUp}}, {}},
  };
  for (const auto& step : steps) {
    session->calls.clear();
    EXPECT_TRUE(sink.InjectTouch(step.frame).ok);
    EXPECT_EQ(session->calls, step.calls);
  }
}

TEST(RemoteDesktopInputSinkTest, MouseAndKeysUseLinuxButtonsAndXKeysyms) {
  auto session = std::make_shared<RecordingSession>();
  RemoteDesktopInputSink sink(session);
  sink.Desktop();
  sink.SendMouse({true, 150, 20, mouse_button::kLeftDown | mouse_button::kLeftUp});
  sink.SendMouse({false, 0, 0, mouse_button::kRightDown | mouse_button::kRightUp});
  sink.SendKey({0x41, false, false});  // A: the unshifted keysym
  sink.SendKey({0x0D, true, false});   // Return
  sink.SendKey({0xFF, false, false});  // no keysym: skipped
  EXPECT_EQ(session->calls, (std::vector<std::string>{
                                "move 99,20", "button 272 down", "button 272 up", "button 273 down",
                                "button 273 up", "key 0x61 down", "key 0xff0d up"}));
}

// Without a pen device the injector moves the mouse; the stream's size maps the pen and
// a finger alike.
TEST(RemoteDesktopInputSinkTest, ThePenAndTouchOfTheInjectorLandOnTheStream) {
  auto session = std::make_shared<RecordingSession>();
  {
    InputInjector injector(std::make_unique<RemoteDesktopInputSink>(session));
    constexpr uint32_t kPenDown = 0;
    constexpr uint32_t kPenUp = 2;
    injector.InjectPen(kPenDown, 0.5f, 1.0f, 0.5f, 0, 0, 0, 0);
    injector.InjectPen(kPenUp, 0.5f, 1.0f, 0.0f, 0, 0, 0, 0);
    constexpr uint32_t kTouchDown = 0;
    injector.InjectTouch(kTouchDown, 100, 1.0f, 0.0f, 1.0f);
  }
  ASSERT_GE(session->calls.size(), 4u);
  EXPECT_EQ(session->calls[0], "move 49,49");
  EXPECT_EQ(session->calls[1], "button 272 down");
  EXPECT_EQ(session->calls[2], "move 49,49");
  EXPECT_EQ(session->calls[3], "button 272 up");
  EXPECT_NE(std::find(session->calls.begin(), session->calls.end(), "down 0 99,0"),
            session->calls.end());
}

TEST(RemoteDesktopInputSinkTest, ASessionThatEndedFailsTouchAndTheAreaStaysAsLastKnown) {
  auto session = std::make_shared<RecordingSession>();
  RemoteDesktopInputSink sink(session);
  sink.Desktop();
  session->running = false;
  session->area.reset();
  const TouchContact down[] = {{100, 1, 1, 1, pf::kDown | kTouching}};
  EXPECT_FALSE(sink.InjectTouch(down).ok);
  EXPECT_EQ(sink.Desktop().width, 100);
}

}  // namespace
}  // namespace orvane
