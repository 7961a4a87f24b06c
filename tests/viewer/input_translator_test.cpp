#include "viewer/input_translator.h"

#include <gtest/gtest.h>

namespace orvane::viewer {
namespace {

namespace v1 = orvane::protocol::v1;

SDL_Event Button(uint32_t type, int x, int y, uint8_t button = SDL_BUTTON_LEFT) {
  SDL_Event event{};
  event.type = type;
  event.button.button = button;
  event.button.x = x;
  event.button.y = y;
  return event;
}

SDL_Event Motion(int x, int y) {
  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.x = x;
  event.motion.y = y;
  return event;
}

SDL_Event Finger(uint32_t type, SDL_FingerID id, float x, float y) {
  SDL_Event event{};
  event.type = type;
  event.tfinger.fingerId = id;
  event.tfinger.x = x;
  event.tfinger.y = y;
  event.tfinger.pressure = 0.5f;
  return event;
}

SDL_Event Key(uint32_t type, SDL_Scancode scancode, uint8_t repeat = 0) {
  SDL_Event event{};
  event.type = type;
  event.key.keysym.scancode = scancode;
  event.key.repeat = repeat;
  return event;
}

// "touch TOUCH_ACTION_DOWN 0 0.255 0.505;", "PEN_ACTION_UP ... 1;", "KEY_ACTION_KEY_UP 65;".
std::string Describe(const InputTranslator::Events& events) {
  std::string text;
  char line[96];
  for (const v1::InputEvent& event : events) {
    if (event.has_touch()) {
      const v1::TouchEvent& touch = event.touch();
      std::snprintf(line, sizeof(line), "touch %s %u %.3f %.3f;",
                    v1::TouchAction_Name(touch.action()).c_str(), touch.pointer_id(),
                    touch.x_normalized(), touch.y_normalized());
    } else if (event.has_pen()) {
      std::snprintf(line, sizeof(line), "%s %.3f %.3f %u;",
                    v1::PenAction_Name(event.pen().action()).c_str(), event.pen().x_normalized(),
                    event.pen().y_normalized(), event.pen().button_state());
    } else {
      std::snprintf(line, sizeof(line), "%s %u;", v1::KeyAction_Name(event.key().action()).c_str(),
                    event.key().key_code());
    }
    text += line;
  }
  return text;
}

// A 101x101 stream, filling a 101x101 window: window pixel n is stream pixel n, sent as
// (n + 0.5) / 100, the middle of the pixel on the host's scale.
class InputTranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override { input_.SetLayout(101, 101, 101, 101); }
  std::string Send(const SDL_Event& event) { return Describe(input_.Translate(event)); }

  InputTranslator input_;
};

TEST_F(InputTranslatorTest, TheMouseIsFingerZeroAndADragOffThePictureStaysAtItsEdge) {
  EXPECT_EQ(Send(Motion(50, 50)), "");  // hovering touches nothing
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONDOWN, 25, 50)), "touch TOUCH_ACTION_DOWN 0 0.255 0.505;");
  EXPECT_EQ(Send(Motion(300, 50)), "touch TOUCH_ACTION_MOVE 0 1.000 0.505;");
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONUP, 300, 50)), "touch TOUCH_ACTION_UP 0 1.000 0.505;");
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONDOWN, 50, 50, SDL_BUTTON_RIGHT)), "");
}

TEST_F(InputTranslatorTest, APressOnTheBarsStartsNothing) {
  input_.SetLayout(201, 101, 101, 101);  // bars of 50 pixels left and right
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONDOWN, 20, 50)), "");
  EXPECT_EQ(Send(Motion(30, 50)), "");
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONUP, 20, 50)), "");
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONDOWN, 50, 50)), "touch TOUCH_ACTION_DOWN 0 0.005 0.505;");
}

TEST_F(InputTranslatorTest, FingersTakeTheLowestFreeIdFromOne) {
  EXPECT_EQ(Send(Finger(SDL_FINGERDOWN, 70, 0.25f, 0.25f)),
            "touch TOUCH_ACTION_DOWN 1 0.255 0.255;");
  EXPECT_EQ(Send(Finger(SDL_FINGERDOWN, 71, 0.75f, 0.75f)),
            "touch TOUCH_ACTION_DOWN 2 0.765 0.765;");
  EXPECT_EQ(Send(Finger(SDL_FINGERUP, 70, 0.25f, 0.25f)), "touch TOUCH_ACTION_UP 1 0.255 0.255;");
  EXPECT_EQ(Send(Finger(SDL_FINGERDOWN, 72, 0.5f, 0.5f)), "touch TOUCH_ACTION_DOWN 1 0.515 0.515;");
  EXPECT_EQ(Send(Finger(SDL_FINGERMOTION, 71, 2.0f, 0.75f)),
            "touch TOUCH_ACTION_MOVE 2 1.000 0.765;");
  EXPECT_EQ(Send(Finger(SDL_FINGERUP, 99, 0.5f, 0.5f)), "");  // never down
}

TEST_F(InputTranslatorTest, InPenModeTheMouseHoversPressesAndHoldsTheBarrelButton) {
  input_.set_pen_mode(true);
  EXPECT_EQ(Send(Motion(50, 50)), "PEN_ACTION_HOVER_ENTER 0.505 0.505 0;");
  EXPECT_EQ(Send(Motion(25, 50)), "PEN_ACTION_HOVER_MOVE 0.255 0.505 0;");
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONDOWN, 50, 50, SDL_BUTTON_RIGHT)), "");
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONDOWN, 25, 50)), "PEN_ACTION_DOWN 0.255 0.505 1;");
  EXPECT_EQ(Send(Motion(50, 50)), "PEN_ACTION_MOVE 0.505 0.505 1;");
  EXPECT_EQ(Send(Button(SDL_MOUSEBUTTONUP, 50, 50)), "PEN_ACTION_UP 0.505 0.505 1;");
}

TEST_F(InputTranslatorTest, KeysRepeatOnTheHostAndAreReleasedWhenTheFocusGoes) {
  EXPECT_EQ(Send(Key(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT)), "KEY_ACTION_KEY_DOWN 160;");
  EXPECT_EQ(Send(Key(SDL_KEYDOWN, SDL_SCANCODE_A)), "KEY_ACTION_KEY_DOWN 65;");
  EXPECT_EQ(Send(Key(SDL_KEYDOWN, SDL_SCANCODE_A, 1)), "");
  EXPECT_EQ(Send(Key(SDL_KEYUP, SDL_SCANCODE_A)), "KEY_ACTION_KEY_UP 65;");
  EXPECT_EQ(Send(Key(SDL_KEYUP, SDL_SCANCODE_B)), "");  // never pressed here
  Send(Button(SDL_MOUSEBUTTONDOWN, 50, 50));
  SDL_Event focus{};
  focus.type = SDL_WINDOWEVENT;
  focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  EXPECT_EQ(Send(focus), "KEY_ACTION_KEY_UP 160;touch TOUCH_ACTION_UP 0 0.505 0.505;");
  EXPECT_EQ(Send(focus), "");
}

}  // namespace
}  // namespace orvane::viewer
