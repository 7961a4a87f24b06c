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

  // Takes one input request, waiting at most `wait_ms` for it.
  bool TakeInputRequest(uint32_t wait_ms);
  // Takes one output announcement, waiting at most `wait_ms` for it.
  bool TakeOutputReady(uint32_t wait_ms);

 private:
  // Reads queued events until `counter` is non-zero or the wait is over.
  bool WaitFor(uint32_t& counter, uint32_t wait_ms);

  ComRef<IMFMediaEventGenerator> generator_;
  uint32_t input_requests_ = 0;
  uint32_t outputs_ready_ = 0;
};

}  // namespace orvane
