#include "video/transform_events_mf.h"

#include <mfapi.h>
#include <mferror.h>

namespace orvane {

HRESULT TransformEvents::Attach(IMFTransform& transform) {
  Detach();
  ComRef<IMFAttributes> attributes;
  if (FAILED(transform.GetAttributes(attributes.Put())) || !attributes) {
    return S_OK;  // no attributes: a synchronous transform
  }
  if (MFGetAttributeUINT32(attributes.get(), MF_TRANSFORM_ASYNC, FALSE) == FALSE) {
    return S_OK;
  }
  HRESULT hr = attributes->SetUINT32(MF_TRANSFORM_ASYNC_UNLOCK, TRUE);
  if (FAILED(hr)) {
    return hr;
  }
  return transform.QueryInterface(__uuidof(IMFMediaEventGenerator), generator_.PutVoid());
}

void TransformEvents::Detach() {
  generator_.Reset();
  input_requests_ = 0;
  outputs_ready_ = 0;
}

bool TransformEvents::WaitFor(bool input, bool output, uint32_t wait_ms) {
  if (!generator_) {
    return true;
  }
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  while (!(input && input_requests_ > 0) && !(output && outputs_ready_ > 0)) {
    ComRef<IMFMediaEvent> event;
    const HRESULT hr = generator_->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.Put());
    if (hr == MF_E_NO_EVENTS_AVAILABLE) {
      if (GetTickCount64() >= deadline) {
        return false;
      }
      Sleep(1);
      continue;
    }
    if (FAILED(hr) || !event) {
      return false;
    }
    MediaEventType type = MEUnknown;
    event->GetType(&type);
    if (type == METransformNeedInput) {
      ++input_requests_;
    } else if (type == METransformHaveOutput) {
      ++outputs_ready_;
    }
  }
  return true;
}

bool TransformEvents::Take(uint32_t& counter) {
  if (!generator_) {
    return true;
  }
  if (counter == 0) {
    return false;
  }
  --counter;
  return true;
}

}  // namespace orvane
