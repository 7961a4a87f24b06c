#include "audio/default_device_watcher_wasapi.h"

namespace orvane {

HRESULT DefaultDeviceWatcher::QueryInterface(REFIID id, void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  if (id == __uuidof(IUnknown) || id == __uuidof(IMMNotificationClient)) {
    *object = static_cast<IMMNotificationClient*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DefaultDeviceWatcher::AddRef() {
  return ++references_;
}

ULONG DefaultDeviceWatcher::Release() {
  const ULONG left = --references_;
  if (left == 0) {
    delete this;
  }
  return left;
}

// The capture records the eConsole default; the multimedia and communications defaults
// and the recording devices may change without touching it. The device id is null when
// no playback device is left; the capture finds out by opening the new default.
HRESULT DefaultDeviceWatcher::OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) {
  if (flow == eRender && role == eConsole) {
    changed_ = true;
  }
  return S_OK;
}

}  // namespace orvane
