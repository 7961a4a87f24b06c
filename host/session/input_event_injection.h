#pragma once

#include "input/input_injector.h"
#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane {

// Hands the touch, pen or key the event carries to the injector; an event without one
// does nothing. Of the pen, the tool type is not passed: an eraser draws like a pen.
void InjectInputEvent(InputInjector& injector, const protocol::v1::InputEvent& event);

}  // namespace orvane
