#include "client/input_sequences.h"

#include "platform/clock.h"

namespace orvane::client {
namespace {

namespace v1 = orvane::protocol::v1;

constexpr uint32_t kShift = 0x10;

struct TypedKey {
  uint32_t code;
  bool shift;
};

class Sequence {
 public:
  explicit Sequence(uint32_t first) : next_(first) {}

  v1::InputEvent& Add() {
    v1::InputEvent& event = events_.emplace_back();
    event.set_timestamp_us(MonotonicMicros());
    event.set_sequence_number(next_++);
    return event;
  }
  void Key(v1::KeyAction action, uint32_t code) {
    v1::KeyEvent* key = Add().mutable_key();
    key->set_action(action);
    key->set_key_code(code);
  }
  std::vector<v1::InputEvent> Take() { return std::move(events_); }

 private:
  uint32_t next_;
  std::vector<v1::InputEvent> events_;
};

// US layout: the punctuation keys, unshifted and shifted.
constexpr struct {
  char plain;
  char shifted;
  uint32_t code;
} kPunctuation[] = {
    {'`', '~', 0xC0}, {'-', '_', 0xBD},  {'=', '+', 0xBB}, {'[', '{', 0xDB},
    {']', '}', 0xDD}, {'\\', '|', 0xDC}, {';', ':', 0xBA}, {'\'', '"', 0xDE},
    {',', '<', 0xBC}, {'.', '>', 0xBE},  {'/', '?', 0xBF},
};
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

std::optional<TypedKey> KeyFor(char c) {
  if (c >= 'a' && c <= 'z') {
    return TypedKey{static_cast<uint32_t>(c - 'a' + 'A'), false};
  }
  if (c >= 'A' && c <= 'Z') {
    return TypedKey{static_cast<uint32_t>(c), true};
  }
  if (c >= '0' && c <= '9') {
    return TypedKey{static_cast<uint32_t>(c), false};
  }
  for (uint32_t digit = 0; digit < 10; ++digit) {
    if (c == kShiftedDigits[digit]) {
      return TypedKey{'0' + digit, true};
    }
  }
  switch (c) {
    case ' ':
      return TypedKey{0x20, false};
    case '\n':
      return TypedKey{0x0D, false};
    case '\t':
      return TypedKey{0x09, false};
    default:
      break;
  }
  for (const auto& key : kPunctuation) {
    if (c == key.plain || c == key.shifted) {
      return TypedKey{key.code, c == key.shifted};
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<v1::InputEvent> TapEvents(float x, float y, uint32_t first_sequence) {
  Sequence sequence(first_sequence);
  for (const v1::TouchAction action :
       {v1::TOUCH_ACTION_DOWN, v1::TOUCH_ACTION_MOVE, v1::TOUCH_ACTION_UP}) {
    v1::TouchEvent* touch = sequence.Add().mutable_touch();
    touch->set_action(action);
    touch->set_pointer_id(0);
    touch->set_x_normalized(x);
    touch->set_y_normalized(y);
    touch->set_pressure(action == v1::TOUCH_ACTION_UP ? 0.0f : 1.0f);
  }
  return sequence.Take();
}

std::vector<v1::InputEvent> PenStrokeEvents(float x, float y, bool barrel,
                                            uint32_t first_sequence) {
  Sequence sequence(first_sequence);
  for (const v1::PenAction action :
       {v1::PEN_ACTION_HOVER_ENTER, v1::PEN_ACTION_DOWN, v1::PEN_ACTION_MOVE, v1::PEN_ACTION_UP,
        v1::PEN_ACTION_HOVER_EXIT}) {
    v1::PenEvent* pen = sequence.Add().mutable_pen();
    const bool touching = action == v1::PEN_ACTION_DOWN || action == v1::PEN_ACTION_MOVE;
    pen->set_action(action);
    pen->set_x_normalized(x);
    pen->set_y_normalized(y);
    pen->set_pressure(touching ? 0.5f : 0.0f);
    pen->set_button_state(barrel && touching ? 1 : 0);
    pen->set_tool_type(v1::PEN_TOOL_TYPE_PEN);
  }
  return sequence.Take();
}

std::vector<v1::InputEvent> KeyPressEvents(const std::vector<uint32_t>& codes,
                                           uint32_t first_sequence) {
  Sequence sequence(first_sequence);
  for (const uint32_t code : codes) {
    sequence.Key(v1::KEY_ACTION_KEY_DOWN, code);
    sequence.Key(v1::KEY_ACTION_KEY_UP, code);
  }
  return sequence.Take();
}

std::optional<std::vector<v1::InputEvent>> TypingEvents(std::string_view text,
                                                        uint32_t first_sequence) {
  Sequence sequence(first_sequence);
  for (const char c : text) {
    const std::optional<TypedKey> key = KeyFor(c);
    if (!key) {
      return std::nullopt;
    }
    if (key->shift) {
      sequence.Key(v1::KEY_ACTION_KEY_DOWN, kShift);
    }
    sequence.Key(v1::KEY_ACTION_KEY_DOWN, key->code);
    sequence.Key(v1::KEY_ACTION_KEY_UP, key->code);
    if (key->shift) {
      sequence.Key(v1::KEY_ACTION_KEY_UP, kShift);
    }
  }
  return sequence.Take();
}

}  // namespace orvane::client
