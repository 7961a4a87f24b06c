#include "session/input_event_injection.h"

namespace orvane {

void InjectInputEvent(InputInjector& injector, const protocol::v1::InputEvent& event) {
  switch (event.event_case()) {
    case protocol::v1::InputEvent::kTouch: {
      const auto& touch = event.touch();
      injector.InjectTouch(touch.action(), touch.pointer_id(), touch.x_normalized(),
                           touch.y_normalized(), touch.pressure());
      break;
    }
    case protocol::v1::InputEvent::kPen: {
      const auto& pen = event.pen();
      injector.InjectPen(pen.action(), pen.x_normalized(), pen.y_normalized(), pen.pressure(),
                         pen.tilt_x(), pen.tilt_y(), pen.orientation(), pen.button_state());
      break;
    }
    case protocol::v1::InputEvent::kKey: {
      const auto& key = event.key();
      injector.InjectKey(key.action(), key.key_code());
      break;
    }
    case protocol::v1::InputEvent::EVENT_NOT_SET:
      break;
  }
}

}  // namespace orvane
