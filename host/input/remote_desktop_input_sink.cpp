#include "input/remote_desktop_input_sink.h"

#include <algorithm>
#include <utility>

#include "base/logger.h"
#include "input/keysym_table_x11.h"

namespace orvane {
namespace {

// The error a sink reports when the session is gone (ERROR_NOT_READY's value).
constexpr uint32_t kSessionNotRunning = 21;

uint32_t FreeSlot(const std::map<uint32_t, uint32_t>& slots) {
  uint32_t slot = 0;
  bool taken = true;
  while (taken) {
    taken = false;
    for (const auto& entry : slots) {
      if (entry.second == slot) {
        taken = true;
        ++slot;
        break;
      }
    }
  }
  return slot;
}

}  // namespace

RemoteDesktopInputSink::RemoteDesktopInputSink(std::shared_ptr<RemoteDesktopInput> session)
    : session_(std::move(session)) {}

double RemoteDesktopInputSink::ClampX(int32_t x) const {
  return std::clamp<double>(x, 0.0, area_.width > 0 ? area_.width - 1.0 : 0.0);
}

double RemoteDesktopInputSink::ClampY(int32_t y) const {
  return std::clamp<double>(y, 0.0, area_.height > 0 ? area_.height - 1.0 : 0.0);
}

SinkResult RemoteDesktopInputSink::InjectTouch(std::span<const TouchContact> contacts) {
  bool delivered = true;
  for (const TouchContact& contact : contacts) {
    const auto held = slots_.find(contact.pointer_id);
    if ((contact.flags & (pointer_flag::kUp | pointer_flag::kCanceled)) != 0) {
      if (held != slots_.end()) {
        delivered = session_->TouchUp(held->second) && delivered;
        slots_.erase(held);
      }
    } else if ((contact.flags & pointer_flag::kDown) != 0 || held == slots_.end()) {
      if ((contact.flags & pointer_flag::kInContact) == 0 &&
          (contact.flags & pointer_flag::kDown) == 0) {
        continue;  // hovering, never touched
      }
      const uint32_t slot = held != slots_.end() ? held->second : FreeSlot(slots_);
      slots_[contact.pointer_id] = slot;
      delivered = session_->TouchDown(slot, ClampX(contact.x), ClampY(contact.y)) && delivered;
    } else {
      delivered =
          session_->TouchMotion(held->second, ClampX(contact.x), ClampY(contact.y)) && delivered;
    }
  }
  return delivered ? SinkResult{} : SinkResult::Failure(kSessionNotRunning);
}

SinkResult RemoteDesktopInputSink::InjectPen(const PenSample&) {
  return SinkResult::Failure(kSessionNotRunning);
}

void RemoteDesktopInputSink::SendMouse(const MouseRecord& record) {
  if (record.move) {
    session_->PointerMotionAbsolute(ClampX(record.x), ClampY(record.y));
  }
  const std::pair<uint32_t, std::pair<int32_t, bool>> transitions[] = {
      {mouse_button::kLeftDown, {kLeftButton, true}},
      {mouse_button::kLeftUp, {kLeftButton, false}},
      {mouse_button::kRightDown, {kRightButton, true}},
      {mouse_button::kRightUp, {kRightButton, false}},
  };
  for (const auto& [bit, button] : transitions) {
    if ((record.buttons & bit) != 0) {
      session_->PointerButton(button.first, button.second);
    }
  }
}

void RemoteDesktopInputSink::SendKey(const KeyRecord& record) {
  const uint32_t keysym = KeysymForVirtualKey(record.virtual_key);
  if (keysym == 0) {
    if (logged_keys_.insert(record.virtual_key).second) {
      LOG_WARN("[Input] Virtual key 0x%02X has no X keysym; key skipped", record.virtual_key);
    }
    return;
  }
  session_->KeyboardKeysym(keysym, !record.up);
}

DesktopRect RemoteDesktopInputSink::Desktop() {
  if (const std::optional<StreamArea> area = session_->Area()) {
    area_ = *area;
  }
  return {0, 0, static_cast<int32_t>(area_.width), static_cast<int32_t>(area_.height)};
}

}  // namespace orvane
