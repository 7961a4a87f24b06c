#pragma once

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane::testing {

// One playback device: its mix format, how its streams behave, and what was done to them.
struct FakeEndpoint {
  FakeEndpoint(const WAVEFORMATEXTENSIBLE& mix, uint32_t packets_per_start,
               bool signals_event = true)
      : mix_format(mix), packets(packets_per_start), signals_event(signals_event) {}

  // Every client of the device fails from now on with AUDCLNT_E_DEVICE_INVALIDATED, as
  // after the device was unplugged or its format changed; clients activated later work.
  void Invalidate() { ++invalidations; }

  const WAVEFORMATEXTENSIBLE mix_format;
  const uint32_t packets;
  // False: a loopback stream as some Windows versions run it, whose event is never set.
  const bool signals_event;
  std::atomic<int> activations{0};
  std::atomic<int> initialized{0};
  std::atomic<int> rule_breaks{0};
  std::atomic<int> released_packets{0};
  std::atomic<int> invalidations{0};
};

// An endpoint's IAudioClient (with its IAudioCaptureClient) that keeps the rules Windows
// documents for a shared-mode loopback stream:
// - Initialize takes the mix format as it is; any other format only with
//   AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM (AUDCLNT_E_UNSUPPORTED_FORMAT otherwise), and
//   then only uncompressed PCM or float whose sizes agree with each other; once only
//   (AUDCLNT_E_ALREADY_INITIALIZED); shared mode with a periodicity of 0.
// - Every other call needs Initialize first (AUDCLNT_E_NOT_INITIALIZED); an
//   event-driven stream needs its event handle before Start (AUDCLNT_E_EVENTHANDLE_NOT_SET).
// - GetBuffer and ReleaseBuffer alternate (AUDCLNT_E_OUT_OF_ORDER), and ReleaseBuffer
//   gives back all the packet's frames or none (AUDCLNT_E_INVALID_SIZE).
// - Once its device is invalidated, every call but Stop and ReleaseBuffer fails with
//   AUDCLNT_E_DEVICE_INVALIDATED for good.
// Start queues the endpoint's `packets` packets of 10 ms of a 1 kHz tone at half scale in
// the format the stream was initialised with (as the audio engine delivers them,
// converted) and, unless the endpoint never does, signals the event.
class FakeAudioClient final : public IAudioClient, public IAudioCaptureClient {
 public:
  explicit FakeAudioClient(FakeEndpoint& endpoint);

  // IUnknown, shared by both interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IAudioClient
  HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags,
                                       REFERENCE_TIME buffer_duration, REFERENCE_TIME periodicity,
                                       const WAVEFORMATEX* format, LPCGUID session) override;
  HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override;
  HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override;
  HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) override;
  HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                              WAVEFORMATEX** closest) override;
  HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override;
  HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* default_period,
                                            REFERENCE_TIME* minimum_period) override;
  HRESULT STDMETHODCALLTYPE Start() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override;
  HRESULT STDMETHODCALLTYPE GetService(REFIID id, void** service) override;

  // IAudioCaptureClient
  HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags,
                                      UINT64* device_position, UINT64* counter_position) override;
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override;
  HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override;

 private:
  ~FakeAudioClient() = default;
  HRESULT Broken(HRESULT result);
  bool Gone() const { return endpoint_.invalidations.load() != born_invalidations_; }
  bool SameAsMix(const WAVEFORMATEX& format) const;
  std::vector<uint8_t> TonePacket(uint64_t first_frame) const;

  std::atomic<ULONG> references_{1};
  FakeEndpoint& endpoint_;
  const WAVEFORMATEXTENSIBLE mix_;
  const int born_invalidations_;
  std::mutex mutex_;
  std::optional<WAVEFORMATEXTENSIBLE> stream_format_;
  DWORD flags_ = 0;
  HANDLE event_ = nullptr;
  bool running_ = false;
  std::vector<std::vector<uint8_t>> queued_;
  size_t next_packet_ = 0;
  bool buffer_out_ = false;
  uint64_t frames_made_ = 0;
};

// The system's device enumerator over a set of FakeEndpoints, holding to Windows' rules:
// - RegisterEndpointNotificationCallback and UnregisterEndpointNotificationCallback keep
//   no reference, so the client must unregister before its notification object goes;
//   unregistering what is not registered gives E_NOTFOUND.
// - Notifications come on a thread of the system's; registering or unregistering from
//   inside one deadlocks on Windows, here it counts as a broken rule.
// - With no default playback device GetDefaultAudioEndpoint fails with E_NOTFOUND; there
//   are no recording devices.
class FakeDeviceEnumerator final : public IMMDeviceEnumerator {
 public:
  // The endpoints stay the caller's; `default_index` may be past the end: no default.
  FakeDeviceEnumerator(std::vector<FakeEndpoint*> endpoints, size_t default_index);

  // Makes another endpoint (or none, past the end) the default for every role and tells
  // the registered clients, as Windows does when the user picks a device or unplugs one.
  void SetDefault(size_t index);
  // Tells the registered clients that the default of `flow` for `role` changed.
  void Notify(EDataFlow flow, ERole role);

  int registered() const;
  int rule_breaks() const { return rule_breaks_.load(); }
  int failed_lookups() const { return failed_lookups_.load(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD state_mask,
                                               IMMDeviceCollection** devices) override;
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                    IMMDevice** device) override;
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override;
  HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient* client) override;
  HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override;

 private:
  ~FakeDeviceEnumerator() = default;
  bool InsideNotification() const;

  std::atomic<ULONG> references_{1};
  const std::vector<FakeEndpoint*> endpoints_;
  mutable std::mutex mutex_;
  size_t default_index_;
  std::vector<IMMNotificationClient*> clients_;
  std::atomic<DWORD> notifying_thread_{0};
  std::atomic<int> rule_breaks_{0};
  std::atomic<int> failed_lookups_{0};
};

// 44.1 kHz 5.1 float in WAVE_FORMAT_EXTENSIBLE, a common laptop and HDMI mix format.
WAVEFORMATEXTENSIBLE SurroundFloatMixFormat();
// 48 kHz stereo 16-bit PCM, as USB headsets and many HDMI outputs mix.
WAVEFORMATEXTENSIBLE StereoPcmMixFormat();

}  // namespace orvane::testing
