#pragma once

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/audio_capture.h"

namespace orvane {

// Records the default playback endpoint in WASAPI shared-mode loopback: event-driven,
// in the endpoint's mix format, float samples turned into signed 16-bit ones. The
// capture thread joins the multimedia class "Pro Audio" while it runs.
class WasapiLoopbackCapture : public LoopbackAudioCapture {
 public:
  WasapiLoopbackCapture() = default;
  ~WasapiLoopbackCapture() override;
  WasapiLoopbackCapture(const WasapiLoopbackCapture&) = delete;
  WasapiLoopbackCapture& operator=(const WasapiLoopbackCapture&) = delete;

  bool Initialize() override;
  bool Start(PcmCallback callback) override;
  void Stop() override;
  uint32_t sample_rate() const override { return sample_rate_; }
  uint32_t channels() const override { return channels_; }
  Status LastStatus() const override { return status_; }

 private:
  void CaptureLoop();
  void DrainPackets();
  void Deliver(const BYTE* data, uint32_t frames, uint64_t counter_position);
  bool Fail(const char* call, const char* message, HRESULT hr);
  void Shutdown();

  Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator_;
  Microsoft::WRL::ComPtr<IMMDevice> device_;
  Microsoft::WRL::ComPtr<IAudioClient> audio_client_;
  Microsoft::WRL::ComPtr<IAudioCaptureClient> capture_client_;
  PcmCallback callback_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  HANDLE event_ = nullptr;
  uint32_t sample_rate_ = 48000;
  uint32_t channels_ = 2;
  uint32_t bits_per_sample_ = 16;
  std::vector<int16_t> converted_;  // float packets as 16-bit samples, reused
  Status status_;
};

}  // namespace orvane
