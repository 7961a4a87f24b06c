#pragma once

#include <windows.h>

#include <mfobjects.h>
#include <mftransform.h>

#include <cstdint>

#include "platform/com_ref_win.h"

namespace orvane {

// The event side of an asynchronous (hardware) encoder transform: it takes input only
// after METransformNeedInput and gives output only after METransformHaveOutput.
// Synchronous transforms have no events; for them every call here says "go ahead".
class TransformEvents {
 public:
  // Unlocks an asynchronous transform for use and subscribes to its events; leaves a
  // synchronous one alone.
  HRESULT Attach(IMFTransform& transform);
  void Detach();
  bool asynchronous() const { return static_cast<bool>(generator_); }

  // Waits at most `wait_ms` for an input request or an output announcement, whichever
  // comes first: a transform with output pending may ask for no input until it is taken.
  bool WaitForInputOrOutput(uint32_t wait_ms) { return WaitFor(true, true, wait_ms); }
  // Waits at most `wait_ms` for an output announcement.
  bool WaitForOutput(uint32_t wait_ms) { return WaitFor(false, true, wait_ms); }
  // Take one counted input request or output announcement, without waiting.
  bool TakeInputRequest() { return Take(input_requests_); }
  bool TakeOutputReady() { return Take(outputs_ready_); }

 private:
  // Reads queued events until a wanted kind is counted or the wait is over.
  bool WaitFor(bool input, bool output, uint32_t wait_ms);
  bool Take(uint32_t& counter);

  ComRef<IMFMediaEventGenerator> generator_;
  uint32_t input_requests_ = 0;
  uint32_t outputs_ready_ = 0;
};

}  // namespace orvane
