#include "viewer/input_translator.h"

#include <algorithm>

#include "viewer/key_map.h"

namespace orvane::viewer {
namespace {

namespace v1 = orvane::protocol::v1;

v1::InputEvent Touch(v1::TouchAction action, uint32_t pointer, NormalizedPoint at, float pressure) {
  v1::InputEvent event;
  v1::TouchEvent& touch = *event.mutable_touch();
  touch.set_action(action);
  touch.set_pointer_id(pointer);
  touch.set_x_normalized(at.x);
  touch.set_y_normalized(at.y);
  touch.set_pressure(pressure);
  return event;
}

v1::InputEvent Pen(v1::PenAction action, NormalizedPoint at, float pressure, bool barrel) {
  v1::InputEvent event;
  v1::PenEvent& pen = *event.mutable_pen();
  pen.set_action(action);
  pen.set_x_normalized(at.x);
  pen.set_y_normalized(at.y);
  pen.set_pressure(pressure);
  pen.set_button_state(barrel ? 1 : 0);
  pen.set_tool_type(v1::PEN_TOOL_TYPE_PEN);
  return event;
}

v1::InputEvent KeyPress(v1::KeyAction action, uint16_t code) {
  v1::InputEvent event;
  event.mutable_key()->set_action(action);
  event.mutable_key()->set_key_code(code);
  return event;
}

}  // namespace

void InputTranslator::SetLayout(int window_width, int window_height, int stream_width,
                                int stream_height) {
  window_width_ = window_width;
  window_height_ = window_height;
  stream_width_ = stream_width;
  stream_height_ = stream_height;
  picture_ = Letterbox(window_width, window_height, stream_width, stream_height);
}

std::optional<NormalizedPoint> InputTranslator::Map(float x, float y, bool clamp) const {
  if (clamp && picture_.width > 0 && picture_.height > 0) {
    x = std::clamp(x, static_cast<float>(picture_.x),
                   static_cast<float>(picture_.x + picture_.width - 1));
    y = std::clamp(y, static_cast<float>(picture_.y),
                   static_cast<float>(picture_.y + picture_.height - 1));
  }
  return WindowToStream(picture_, stream_width_, stream_height_, x, y);
}

InputTranslator::Events InputTranslator::Translate(const SDL_Event& event) {
  switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEMOTION:
      return Mouse(event);
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP:
      return Finger(event);
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return Key(event);
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        return ReleaseAll();
      }
      if (event.window.event == SDL_WINDOWEVENT_LEAVE && pen_in_range_ && !pen_down_) {
        pen_in_range_ = false;
        return {Pen(v1::PEN_ACTION_HOVER_EXIT, last_mouse_, 0, false)};
      }
      return {};
    default:
      return {};
  }
}

InputTranslator::Events InputTranslator::Mouse(const SDL_Event& event) {
  // Touch screens also move SDL's pointer; their fingers are sent as fingers.
  const bool from_touch = event.type == SDL_MOUSEMOTION ? event.motion.which == SDL_TOUCH_MOUSEID
                                                        : event.button.which == SDL_TOUCH_MOUSEID;
  if (from_touch) {
    return {};
  }
  if (event.type == SDL_MOUSEMOTION) {
    const bool held = pen_down_ || mouse_down_;
    const auto at =
        Map(static_cast<float>(event.motion.x), static_cast<float>(event.motion.y), held);
    if (!at) {
      return {};
    }
    last_mouse_ = *at;
    if (mouse_down_) {
      return {Touch(v1::TOUCH_ACTION_MOVE, 0, *at, 1.0f)};
    }
    if (!pen_mode_) {
      return {};
    }
    if (pen_down_) {
      return {Pen(v1::PEN_ACTION_MOVE, *at, 1.0f, barrel_)};
    }
    if (!pen_in_range_) {
      pen_in_range_ = true;
      return {Pen(v1::PEN_ACTION_HOVER_ENTER, *at, 0, false)};
    }
    return {Pen(v1::PEN_ACTION_HOVER_MOVE, *at, 0, false)};
  }
  const bool down = event.type == SDL_MOUSEBUTTONDOWN;
  if (event.button.button == SDL_BUTTON_RIGHT && (pen_mode_ || pen_down_)) {
    barrel_ = down;
    return {};
  }
  if (event.button.button != SDL_BUTTON_LEFT) {
    return {};
  }
  const bool held = pen_down_ || mouse_down_;
  const auto at = Map(static_cast<float>(event.button.x), static_cast<float>(event.button.y), held);
  if (down) {
    if (!at || held) {
      return {};
    }
    last_mouse_ = *at;
    if (pen_mode_) {
      pen_down_ = true;
      pen_in_range_ = true;
      return {Pen(v1::PEN_ACTION_DOWN, *at, 1.0f, barrel_)};
    }
    mouse_down_ = true;
    return {Touch(v1::TOUCH_ACTION_DOWN, 0, *at, 1.0f)};
  }
  const NormalizedPoint point = at.value_or(last_mouse_);
  if (pen_down_) {
    pen_down_ = false;
    return {Pen(v1::PEN_ACTION_UP, point, 0, barrel_)};
  }
  if (mouse_down_) {
    mouse_down_ = false;
    return {Touch(v1::TOUCH_ACTION_UP, 0, point, 0)};
  }
  return {};
}

InputTranslator::Events InputTranslator::Finger(const SDL_Event& event) {
  const SDL_TouchFingerEvent& finger = event.tfinger;
  const float x = finger.x * static_cast<float>(window_width_);
  const float y = finger.y * static_cast<float>(window_height_);
  const auto known = fingers_.find(finger.fingerId);
  if (event.type == SDL_FINGERDOWN) {
    const auto at = Map(x, y, false);
    if (!at || known != fingers_.end()) {
      return {};
    }
    uint32_t id = 1;
    while (finger_points_.count(id) != 0) {
      ++id;
    }
    fingers_[finger.fingerId] = id;
    finger_points_[id] = *at;
    return {Touch(v1::TOUCH_ACTION_DOWN, id, *at, finger.pressure)};
  }
  if (known == fingers_.end()) {
    return {};
  }
  const uint32_t id = known->second;
  const NormalizedPoint at = Map(x, y, true).value_or(finger_points_[id]);
  if (event.type == SDL_FINGERMOTION) {
    finger_points_[id] = at;
    return {Touch(v1::TOUCH_ACTION_MOVE, id, at, finger.pressure)};
  }
  fingers_.erase(known);
  finger_points_.erase(id);
  return {Touch(v1::TOUCH_ACTION_UP, id, at, 0)};
}

InputTranslator::Events InputTranslator::Key(const SDL_Event& event) {
  const uint16_t code = VirtualKeyForScancode(event.key.keysym.scancode);
  if (code == 0) {
    return {};
  }
  if (event.type == SDL_KEYDOWN) {
    // The host's desktop repeats a held key itself.
    if (event.key.repeat != 0 || !held_keys_.insert(code).second) {
      return {};
    }
    return {KeyPress(v1::KEY_ACTION_KEY_DOWN, code)};
  }
  if (held_keys_.erase(code) == 0) {
    return {};
  }
  return {KeyPress(v1::KEY_ACTION_KEY_UP, code)};
}

InputTranslator::Events InputTranslator::ReleaseAll() {
  Events events;
  for (const uint16_t code : held_keys_) {
    events.push_back(KeyPress(v1::KEY_ACTION_KEY_UP, code));
  }
  held_keys_.clear();
  for (const auto& [id, at] : finger_points_) {
    events.push_back(Touch(v1::TOUCH_ACTION_CANCEL, id, at, 0));
  }
  fingers_.clear();
  finger_points_.clear();
  if (mouse_down_) {
    events.push_back(Touch(v1::TOUCH_ACTION_UP, 0, last_mouse_, 0));
    mouse_down_ = false;
  }
  if (pen_down_) {
    events.push_back(Pen(v1::PEN_ACTION_UP, last_mouse_, 0, false));
    pen_down_ = false;
  }
  barrel_ = false;
  return events;
}

}  // namespace orvane::viewer
