#pragma once

#include <windows.h>

#include <mmdeviceapi.h>

#include <atomic>

namespace orvane {

// Notices that another endpoint became the default console playback device. Windows calls
// it on a thread of its own and forbids blocking or registering there, so it only raises a
// flag that the capture thread takes.
class DefaultDeviceWatcher final : public IMMNotificationClient {
 public:
  DefaultDeviceWatcher() = default;

  // True once after each change of the default console playback device.
  bool TakeChange() { return changed_.exchange(false); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role,
                                                   LPCWSTR device_id) override;
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
    return S_OK;
  }

 private:
  ~DefaultDeviceWatcher() = default;

  std::atomic<ULONG> references_{1};
  std::atomic<bool> changed_{false};
};

}  // namespace orvane
