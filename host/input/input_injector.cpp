#include "input/input_injector.h"

#include <algorithm>

#include "base/logger.h"
#include "input/pointer_math.h"

namespace orvane {
namespace {

// TouchAction, PenAction and KeyAction values of the wire.
constexpr uint32_t kTouchDown = 0;
constexpr uint32_t kTouchMove = 1;
constexpr uint32_t kTouchUp = 2;
constexpr uint32_t kTouchCancel = 3;

constexpr uint32_t kPenDown = 0;
constexpr uint32_t kPenMove = 1;
constexpr uint32_t kPenUp = 2;
constexpr uint32_t kPenHoverEnter = 3;
constexpr uint32_t kPenHoverMove = 4;
constexpr uint32_t kPenHoverExit = 5;

constexpr uint32_t kKeyUp = 1;

constexpr uint32_t kFirstPointerId = 100;
constexpr uint32_t kBarrelButton = 0x1;

namespace pf = pointer_flag;
constexpr uint32_t kTouching = pf::kInRange | pf::kInContact;
constexpr uint32_t kPenHovering = pf::kPrimary | pf::kInRange;
constexpr uint32_t kPenTouching = pf::kPrimary | pf::kFirstButton | pf::kInContact | pf::kInRange;

bool IsDownOrMove(uint32_t touch_action) {
  return touch_action == kTouchDown || touch_action == kTouchMove;
}

bool IsArrowKey(uint16_t virtual_key) {
  return virtual_key >= 0x25 && virtual_key <= 0x28;  // VK_LEFT..VK_DOWN
}

}  // namespace

class InputInjector::LazyPoint {
 public:
  LazyPoint(InputSink& sink, float x, float y) : sink_(sink), x_(x), y_(y) {}

  Point Get() {
    if (!point_) {
      const DesktopRect desktop = sink_.Desktop();
      point_ = Point{NormalizedToPixel(x_, desktop.x, desktop.width),
                     NormalizedToPixel(y_, desktop.y, desktop.height)};
    }
    return *point_;
  }

 private:
  InputSink& sink_;
  float x_;
  float y_;
  std::optional<Point> point_;
};

InputInjector::InputInjector(std::unique_ptr<InputSink> sink, Clock clock)
    : sink_(std::move(sink)), clock_(std::move(clock)) {}

std::chrono::milliseconds InputInjector::SteadyClock() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

InputInjector::~InputInjector() {
  ReleaseHeldInput();
}

bool InputInjector::IsNewError(std::optional<uint32_t>& last_logged, uint32_t error) {
  if (last_logged == error) {
    return false;
  }
  last_logged = error;
  return true;
}

void InputInjector::InjectTouch(uint32_t action, uint32_t pointer_id, float x, float y,
                                float pressure) {
  LazyPoint point(*sink_, x, y);
  if (!InjectNativeTouch(action, pointer_id, point, pressure)) {
    EmulateTouch(action, point);
  }
}

bool InputInjector::InjectNativeTouch(uint32_t action, uint32_t pointer_id, LazyPoint& point,
                                      float pressure) {
  if (!sink_->touch_available()) {
    return false;
  }
  // Palm rejection: the hand resting on the screen while the pen draws.
  if (pen_in_contact_ && IsDownOrMove(action)) {
    return true;
  }
  uint32_t contact_id = 0;
  if (const auto known = pointer_ids_.find(pointer_id); known != pointer_ids_.end()) {
    contact_id = known->second;
  } else {
    if (!IsDownOrMove(action)) {
      return true;  // nothing to lift
    }
    contact_id = std::max(next_pointer_id_, kFirstPointerId);
    next_pointer_id_ = contact_id + 1;
    pointer_ids_[pointer_id] = contact_id;
  }

  const auto active = contacts_.find(contact_id);
  const bool is_active = active != contacts_.end();
  const uint32_t primary =
      is_active ? (active->second.flags & pf::kPrimary) : (contacts_.empty() ? pf::kPrimary : 0);
  TouchContact contact;
  switch (action) {
    case kTouchDown:
    case kTouchMove: {
      const Point at = point.Get();
      const uint32_t flags = is_active ? (pf::kUpdate | kTouching) : (pf::kDown | kTouching);
      contact = TouchContact{contact_id, at.x, at.y, PointerPressure(pressure), primary | flags};
      break;
    }
    case kTouchUp:
    case kTouchCancel:
      if (!is_active) {
        // Its touch-down failed and went to the mouse, which lifts it too.
        pointer_ids_.erase(pointer_id);
        return false;
      }
      // A lift must repeat the last position; the position of the UP itself is not used.
      contact = active->second;
      contact.flags = primary | pf::kUp | (action == kTouchCancel ? pf::kCanceled : 0);
      break;
    default:
      return true;
  }

  const std::vector<TouchContact> frame = FrameWith(contact);
  const SinkResult result = sink_->InjectTouch(frame);
  if (!result.ok) {
    if (IsNewError(last_touch_error_, result.error)) {
      LOG_WARN("[Input] Native touch injection failed (err=%lu), using mouse emulation",
               static_cast<unsigned long>(result.error));
    }
    return false;
  }
  last_touch_frame_ = clock_();
  if (IsDownOrMove(action)) {
    contact.flags = primary | pf::kUpdate | kTouching;
    contacts_[contact_id] = contact;
    pointer_ids_[pointer_id] = contact_id;
  } else {
    contacts_.erase(contact_id);
    pointer_ids_.erase(pointer_id);
  }
  return true;
}

std::vector<TouchContact> InputInjector::FrameWith(const TouchContact& changed) const {
  std::vector<TouchContact> frame;
  frame.reserve(contacts_.size() + 1);
  for (const auto& [id, contact] : contacts_) {
    frame.push_back(id == changed.pointer_id ? changed : contact);
  }
  if (!contacts_.contains(changed.pointer_id)) {
    frame.push_back(changed);
  }
  return frame;
}

std::optional<std::chrono::milliseconds> InputInjector::Tick() {
  if (contacts_.empty() || !sink_->touch_available()) {
    return std::nullopt;
  }
  const std::chrono::milliseconds now = clock_();
  const std::chrono::milliseconds since = now - last_touch_frame_;
  if (since < kHeldContactRefresh) {
    return kHeldContactRefresh - since;
  }
  std::vector<TouchContact> frame;
  frame.reserve(contacts_.size());
  for (const auto& [id, contact] : contacts_) {
    frame.push_back(contact);
  }
  const SinkResult result = sink_->InjectTouch(frame);
  if (!result.ok && IsNewError(last_touch_error_, result.error)) {
    LOG_WARN("[Input] Re-injecting held touches failed (err=%lu)",
             static_cast<unsigned long>(result.error));
  }
  // Also after a failure: the next try waits a whole period instead of spinning.
  last_touch_frame_ = now;
  return kHeldContactRefresh;
}

void InputInjector::SetStreamedOutput(uint32_t output_index) {
  sink_->SetStreamedOutput(output_index);
}

// The pointer id plays no part: a second finger's DOWN is ignored while the button is
// held, any finger's MOVE moves the cursor and any finger's UP releases the button.
void InputInjector::EmulateTouch(uint32_t action, LazyPoint& point) {
  if (pen_in_contact_ && IsDownOrMove(action)) {
    return;
  }
  MouseRecord record;
  switch (action) {
    case kTouchDown:
      if (emulated_button_down_) {
        return;
      }
      record.buttons = mouse_button::kLeftDown;
      emulated_button_down_ = true;
      break;
    case kTouchMove:
      break;
    case kTouchUp:
    case kTouchCancel:
      if (!emulated_button_down_) {
        return;
      }
      record.buttons = mouse_button::kLeftUp;
      emulated_button_down_ = false;
      break;
    default:
      return;
  }
  const Point at = point.Get();
  record.move = true;
  record.x = at.x;
  record.y = at.y;
  sink_->SendMouse(record);
}

void InputInjector::InjectPen(uint32_t action, float x, float y, float pressure, float tilt_x,
                              float tilt_y, float orientation, uint32_t button_state) {
  pen_x_ = FiniteOrZero(x);
  pen_y_ = FiniteOrZero(y);
  LazyPoint point(*sink_, pen_x_, pen_y_);
  if (!InjectSyntheticPen(action, point, pressure, tilt_x, tilt_y, orientation, button_state)) {
    EmulatePen(action, point, button_state);
  }
}

bool InputInjector::InjectSyntheticPen(uint32_t action, LazyPoint& point, float pressure,
                                       float tilt_x, float tilt_y, float orientation,
                                       uint32_t button_state) {
  if (!sink_->pen_available()) {
    return false;
  }
  const bool was_in_contact = pen_in_contact_;
  PenSample sample;
  sample.in_contact = was_in_contact;
  sample.in_range = true;
  // Leaving range while touching lifts the tip first: the pen hovers, then goes.
  bool then_leave_range = false;
  switch (action) {
    case kPenDown:
      sample.flags = pf::kDown | kPenTouching;
      sample.button_change = PenButtonChange::kFirstButtonDown;
      sample.in_contact = true;
      break;
    case kPenMove:
      sample.flags = pf::kUpdate | (was_in_contact ? kPenTouching : kPenHovering);
      break;
    case kPenUp:
      // The lifted tip hovers: an UP no longer in contact. A pen that was not touching
      // has nothing to lift and only moves.
      sample.flags = (was_in_contact ? pf::kUp : pf::kUpdate) | kPenHovering;
      sample.button_change =
          was_in_contact ? PenButtonChange::kFirstButtonUp : PenButtonChange::kNone;
      sample.in_contact = false;
      break;
    case kPenHoverEnter:
    case kPenHoverMove:
      sample.flags = pf::kUpdate | kPenHovering;
      break;
    case kPenHoverExit:
      if (was_in_contact) {
        sample.flags = pf::kUp | kPenHovering;
        sample.button_change = PenButtonChange::kFirstButtonUp;
        sample.in_contact = false;
        then_leave_range = true;
      } else if (pen_in_range_) {
        // Out of range is an update that is neither in range nor in contact.
        sample.flags = pf::kUpdate | pf::kPrimary;
        sample.in_range = false;
      } else {
        return true;
      }
      break;
    default:
      return true;
  }
  if ((button_state & kBarrelButton) != 0 && sample.in_range) {
    sample.flags |= pf::kSecondButton;
    sample.barrel = true;
  }
  const Point at = point.Get();
  sample.x = at.x;
  sample.y = at.y;
  sample.pressure = PointerPressure(pressure);
  sample.tilt_x = TiltDegrees(tilt_x);
  sample.tilt_y = TiltDegrees(tilt_y);
  sample.rotation = RotationDegrees(orientation);

  if (!SendPenSample(sample)) {
    return false;
  }
  pen_in_range_ = sample.in_range;
  pen_in_contact_ = sample.in_contact;
  if (!was_in_contact && sample.in_contact) {
    CancelActiveContacts();
  }
  if (then_leave_range) {
    PenSample away = sample;
    away.flags = pf::kUpdate | pf::kPrimary;
    away.button_change = PenButtonChange::kNone;
    away.barrel = false;
    away.in_range = false;
    // Lifted already: a failure here leaves nothing for the mouse to do.
    if (SendPenSample(away)) {
      pen_in_range_ = false;
    }
  }
  return true;
}

bool InputInjector::SendPenSample(const PenSample& sample) {
  const SinkResult result = sink_->InjectPen(sample);
  if (!result.ok && IsNewError(last_pen_error_, result.error)) {
    LOG_WARN("[Input] Synthetic pen injection failed (err=%lu), using mouse emulation fallback",
             static_cast<unsigned long>(result.error));
  }
  return result.ok;
}

void InputInjector::EmulatePen(uint32_t action, LazyPoint& point, uint32_t button_state) {
  bool in_contact = pen_in_contact_;
  if (action == kPenDown) {
    in_contact = true;
  } else if (action == kPenUp || action == kPenHoverExit) {
    in_contact = false;
  }
  if (!pen_in_contact_ && in_contact) {
    CancelActiveContacts();
  }
  pen_in_contact_ = in_contact;

  MouseRecord record;
  switch (action) {
    case kPenDown:
      record.buttons = mouse_button::kLeftDown;
      break;
    case kPenUp:
      record.buttons = mouse_button::kLeftUp;
      break;
    case kPenHoverExit:
      return;
    default:
      break;
  }
  if ((button_state & kBarrelButton) != 0) {
    record.buttons |= mouse_button::kRightDown;
    emulated_right_down_ = true;
  } else if (action == kPenUp) {
    record.buttons |= mouse_button::kRightUp;
    emulated_right_down_ = false;
  }
  const Point at = point.Get();
  record.move = true;
  record.x = at.x;
  record.y = at.y;
  sink_->SendMouse(record);
}

void InputInjector::InjectKey(uint32_t action, uint32_t key_code) {
  const auto virtual_key = static_cast<uint16_t>(key_code & 0xFFFF);
  const bool up = action == kKeyUp;
  sink_->SendKey(KeyRecord{virtual_key, up, IsArrowKey(virtual_key)});
  const auto held = std::find(held_keys_.begin(), held_keys_.end(), virtual_key);
  if (up && held != held_keys_.end()) {
    held_keys_.erase(held);
  } else if (!up && held == held_keys_.end()) {
    held_keys_.push_back(virtual_key);
  }
}

void InputInjector::CancelActiveContacts() {
  if (sink_->touch_available() && !contacts_.empty()) {
    std::vector<TouchContact> frame;
    frame.reserve(contacts_.size());
    for (const auto& [id, contact] : contacts_) {
      TouchContact lifted = contact;
      lifted.flags = (contact.flags & pf::kPrimary) | pf::kUp | pf::kCanceled;
      frame.push_back(lifted);
    }
    const SinkResult result = sink_->InjectTouch(frame);
    if (!result.ok) {
      LOG_WARN("[Input] Failed to cancel active touches for palm rejection (err=%lu)",
               static_cast<unsigned long>(result.error));
    }
  }
  contacts_.clear();
  pointer_ids_.clear();
  if (emulated_button_down_) {
    MouseRecord release;
    release.buttons = mouse_button::kLeftUp;
    sink_->SendMouse(release);
    emulated_button_down_ = false;
  }
}

void InputInjector::ReleaseHeldInput() {
  const size_t keys = held_keys_.size();
  const size_t fingers = contacts_.size() + (emulated_button_down_ ? 1 : 0);
  const bool pen = pen_in_contact_ || pen_in_range_ || emulated_right_down_;
  if (keys == 0 && fingers == 0 && !pen) {
    return;
  }
  LOG_INFO("[Input] Releasing input the client left held: keys=%zu touches=%zu pen=%s", keys,
           fingers, pen ? "yes" : "no");
  if (pen_in_contact_) {
    InjectPen(kPenUp, pen_x_, pen_y_, 0.0f, 0.0f, 0.0f, 0.0f, 0);
  }
  if (pen_in_range_) {
    InjectPen(kPenHoverExit, pen_x_, pen_y_, 0.0f, 0.0f, 0.0f, 0.0f, 0);
  }
  if (emulated_right_down_) {
    MouseRecord release;
    release.buttons = mouse_button::kRightUp;
    sink_->SendMouse(release);
    emulated_right_down_ = false;
  }
  CancelActiveContacts();
  // The reverse order of pressing: a shortcut's modifiers go last, as a hand lets go.
  while (!held_keys_.empty()) {
    InjectKey(kKeyUp, held_keys_.back());
  }
}

}  // namespace orvane
