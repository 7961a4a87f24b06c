#pragma once

#include <windows.h>

#include <audioclient.h>
#include <mmreg.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane::testing {

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
// Start queues `packets` packets of 10 ms of a 1 kHz tone at half scale in the format the
// stream was initialised with (as the audio engine delivers them, converted) and signals
// the event.
class FakeAudioClient final : public IAudioClient, public IAudioCaptureClient {
 public:
  struct Record {
    std::atomic<int> initialized{0};
    std::atomic<int> rule_breaks{0};
    std::atomic<int> released_packets{0};
  };

  // The mix format of the endpoint the fake stands for.
  FakeAudioClient(const WAVEFORMATEXTENSIBLE& mix_format, uint32_t packets, Record& record);

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
  bool SameAsMix(const WAVEFORMATEX& format) const;
  std::vector<uint8_t> TonePacket(uint64_t first_frame) const;

  std::atomic<ULONG> references_{1};
  WAVEFORMATEXTENSIBLE mix_;
  uint32_t packets_per_start_;
  Record& record_;
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

// 44.1 kHz 5.1 float in WAVE_FORMAT_EXTENSIBLE, a common laptop and HDMI mix format.
WAVEFORMATEXTENSIBLE SurroundFloatMixFormat();

}  // namespace orvane::testing
