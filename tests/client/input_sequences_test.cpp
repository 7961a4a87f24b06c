#include "client/input_sequences.h"

#include <gtest/gtest.h>

#include <utility>

namespace orvane::client {
namespace {

namespace v1 = orvane::protocol::v1;

// (code, up) of each key event.
std::vector<std::pair<uint32_t, bool>> Strokes(const std::vector<v1::InputEvent>& events) {
  std::vector<std::pair<uint32_t, bool>> strokes;
  for (const v1::InputEvent& event : events) {
    strokes.emplace_back(event.key().key_code(), event.key().action() == v1::KEY_ACTION_KEY_UP);
  }
  return strokes;
}

TEST(InputSequencesTest, TypingPressesShiftForCapitalsAndShiftedPunctuation) {
  const auto events = TypingEvents("aB!;\n", 7);
  ASSERT_TRUE(events);
  EXPECT_EQ(Strokes(*events), (std::vector<std::pair<uint32_t, bool>>{
                                  {0x41, false},
                                  {0x41, true},  // a
                                  {0x10, false},
                                  {0x42, false},
                                  {0x42, true},  // B
                                  {0x10, true},
                                  {0x10, false},
                                  {0x31, false},
                                  {0x31, true},  // !
                                  {0x10, true},
                                  {0xBA, false},
                                  {0xBA, true},  // ;
                                  {0x0D, false},
                                  {0x0D, true},  // Enter
                              }));
  EXPECT_EQ(events->front().sequence_number(), 7u);
  EXPECT_EQ(events->back().sequence_number(), 20u);
  EXPECT_FALSE(TypingEvents("é", 1));
  EXPECT_FALSE(TypingEvents(std::string_view("a\0", 2), 1));
}

TEST(InputSequencesTest, GesturesHaveTheirActionsInOrder) {
  const auto tap = TapEvents(0.25f, 0.75f, 1);
  ASSERT_EQ(tap.size(), 3u);
  EXPECT_EQ(tap[0].touch().action(), v1::TOUCH_ACTION_DOWN);
  EXPECT_EQ(tap[1].touch().action(), v1::TOUCH_ACTION_MOVE);
  EXPECT_EQ(tap[2].touch().action(), v1::TOUCH_ACTION_UP);
  EXPECT_FLOAT_EQ(tap[2].touch().y_normalized(), 0.75f);

  const auto stroke = PenStrokeEvents(0.5f, 0.5f, true, 1);
  std::vector<std::pair<v1::PenAction, uint32_t>> pen;
  for (const auto& event : stroke) {
    pen.emplace_back(event.pen().action(), event.pen().button_state());
  }
  EXPECT_EQ(pen, (std::vector<std::pair<v1::PenAction, uint32_t>>{{v1::PEN_ACTION_HOVER_ENTER, 0},
                                                                  {v1::PEN_ACTION_DOWN, 1},
                                                                  {v1::PEN_ACTION_MOVE, 1},
                                                                  {v1::PEN_ACTION_UP, 0},
                                                                  {v1::PEN_ACTION_HOVER_EXIT, 0}}));

  EXPECT_EQ(Strokes(KeyPressEvents({0x25, 0x0D}, 1)),
            (std::vector<std::pair<uint32_t, bool>>{
                {0x25, false}, {0x25, true}, {0x0D, false}, {0x0D, true}}));
}

}  // namespace
}  // namespace orvane::client
