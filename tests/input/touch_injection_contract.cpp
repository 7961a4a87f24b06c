#include "input/touch_injection_contract.h"

#include <algorithm>
#include <set>

namespace orvane::testing {
namespace {

namespace pf = pointer_flag;

int Phases(uint32_t flags) {
  return ((flags & pf::kDown) != 0) + ((flags & pf::kUpdate) != 0) + ((flags & pf::kUp) != 0);
}

}  // namespace

TouchInjectionContract::Stroke* TouchInjectionContract::Active(uint32_t id) {
  for (const auto& [index, last] : active_) {
    if (strokes_[index].id == id) {
      return &strokes_[index];
    }
  }
  return nullptr;
}

void TouchInjectionContract::CancelAll(std::chrono::milliseconds now) {
  for (const auto& [index, last] : active_) {
    strokes_[index].ended = true;
    strokes_[index].cancelled = true;
    strokes_[index].ended_at = now;
  }
  active_.clear();
}

bool TouchInjectionContract::Reject(const std::string& why, bool cancels,
                                    std::chrono::milliseconds now) {
  faults_.push_back(why);
  if (cancels) {
    CancelAll(now);
  }
  return false;
}

bool TouchInjectionContract::Frame(std::span<const TouchContact> frame,
                                   std::chrono::milliseconds now) {
  // The system's own timeout comes first: it runs whether frames come or not.
  for (auto it = active_.begin(); it != active_.end();) {
    if (now - it->second > kContactTimeout) {
      Stroke& stroke = strokes_[it->first];
      faults_.push_back("contact " + std::to_string(stroke.id) + " timed out");
      stroke.ended = true;
      stroke.cancelled = true;
      stroke.ended_at = it->second + kContactTimeout;
      it = active_.erase(it);
    } else {
      ++it;
    }
  }

  if (frame.empty() || frame.size() > max_contacts_) {
    return Reject("frame of " + std::to_string(frame.size()) + " contacts", false, now);
  }
  std::set<uint32_t> ids;
  for (const TouchContact& contact : frame) {
    const std::string name = "contact " + std::to_string(contact.pointer_id);
    if (!ids.insert(contact.pointer_id).second) {
      return Reject(name + " twice in one frame", false, now);
    }
    if (contact.x < desktop_.x || contact.y < desktop_.y ||
        contact.x >= desktop_.x + desktop_.width || contact.y >= desktop_.y + desktop_.height) {
      return Reject(name + " off the desktop", false, now);
    }
    if (Phases(contact.flags) != 1) {
      return Reject(name + " without exactly one of DOWN, UPDATE, UP", false, now);
    }
    Stroke* stroke = Active(contact.pointer_id);
    if ((contact.flags & pf::kDown) != 0) {
      if (stroke != nullptr) {
        return Reject(name + " down twice", false, now);
      }
      if ((contact.flags & (pf::kInRange | pf::kInContact)) != (pf::kInRange | pf::kInContact)) {
        return Reject(name + " down without INRANGE | INCONTACT", false, now);
      }
      continue;
    }
    if (stroke == nullptr) {
      return Reject(name + " updated or lifted while not down", false, now);
    }
    if ((contact.flags & pf::kUp) != 0 && Point{contact.x, contact.y} != stroke->path.back()) {
      return Reject(name + " lifted away from its last position", true, now);
    }
  }
  for (const auto& [index, last] : active_) {
    if (!ids.contains(strokes_[index].id)) {
      return Reject("frame leaves out active contact " + std::to_string(strokes_[index].id), true,
                    now);
    }
  }

  for (const TouchContact& contact : frame) {
    const Point at{contact.x, contact.y};
    if ((contact.flags & pf::kDown) != 0) {
      strokes_.push_back(Stroke{contact.pointer_id, {at}, now, now, false, false});
      active_.emplace_back(strokes_.size() - 1, now);
      continue;
    }
    const auto active = std::find_if(active_.begin(), active_.end(), [&](const auto& entry) {
      return strokes_[entry.first].id == contact.pointer_id;
    });
    Stroke& stroke = strokes_[active->first];
    stroke.path.push_back(at);
    active->second = now;
    if ((contact.flags & pf::kUp) != 0) {
      stroke.ended = true;
      stroke.cancelled = (contact.flags & pf::kCanceled) != 0;
      stroke.ended_at = now;
      active_.erase(active);
    }
  }
  return true;
}

}  // namespace orvane::testing
