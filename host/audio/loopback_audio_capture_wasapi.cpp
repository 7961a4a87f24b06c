#include "audio/loopback_audio_capture_wasapi.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/pcm_samples.h"
#include "base/logger.h"
#include "platform/multimedia_task.h"

namespace orvane {
namespace {

constexpr REFERENCE_TIME kBufferDuration = 200000;  // 20 ms in 100-ns units
constexpr DWORD kWaitLimitMs = 100;
// GetBuffer reports the performance-counter position in 100-ns units.
constexpr uint64_t kPositionUnitsPerSecond = 10000000;

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

}  // namespace

WasapiLoopbackCapture::~WasapiLoopbackCapture() {
  Shutdown();
}

bool WasapiLoopbackCapture::Fail(const char* call, const char* message, HRESULT hr) {
  LOG_ERROR("[Audio] %s failed: 0x%08lX", call, static_cast<unsigned long>(hr));
  status_ = Status::Failure(StatusCode::kResource, message, static_cast<uint32_t>(hr));
  return false;
}

bool WasapiLoopbackCapture::Initialize() {
  status_ = Status::Success();
  HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(enumerator_.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    return Fail("CoCreateInstance MMDeviceEnumerator", "Audio device enumerator creation failed",
                hr);
  }
  device_.Reset();
  hr = enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device_);
  if (FAILED(hr)) {
    return Fail("GetDefaultAudioEndpoint", "Default audio endpoint is unavailable", hr);
  }
  hr = device_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                         reinterpret_cast<void**>(audio_client_.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    return Fail("Activate IAudioClient", "Audio client activation failed", hr);
  }
  WAVEFORMATEX* format = nullptr;
  hr = audio_client_->GetMixFormat(&format);
  if (FAILED(hr)) {
    return Fail("GetMixFormat", "Audio mix format query failed", hr);
  }
  sample_rate_ = format->nSamplesPerSec;
  channels_ = format->nChannels;
  bits_per_sample_ = format->wBitsPerSample;
  LOG_INFO("[Audio] Mix format: %uHz, %uch, %ubit", sample_rate_, channels_, bits_per_sample_);
  if (event_ == nullptr) {
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  hr = audio_client_->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                 AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 kBufferDuration, 0, format, nullptr);
  CoTaskMemFree(format);
  if (FAILED(hr)) {
    return Fail("IAudioClient::Initialize loopback", "Audio loopback initialization failed", hr);
  }
  hr = audio_client_->SetEventHandle(event_);
  if (FAILED(hr)) {
    return Fail("SetEventHandle", "Audio event handle registration failed", hr);
  }
  hr = audio_client_->GetService(IID_PPV_ARGS(capture_client_.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    return Fail("GetService IAudioCaptureClient", "Audio capture service creation failed", hr);
  }
  LOG_INFO("[Audio] WASAPI loopback initialized");
  return true;
}

bool WasapiLoopbackCapture::Start(PcmCallback callback) {
  if (running_.load()) {
    return true;
  }
  if (!audio_client_ || !capture_client_) {
    status_ =
        Status::Failure(StatusCode::kResource, "Audio capture was not initialized before Start()");
    return false;
  }
  callback_ = std::move(callback);
  const HRESULT hr = audio_client_->Start();
  if (FAILED(hr)) {
    LOG_ERROR("[Audio] IAudioClient::Start failed: 0x%08lX", static_cast<unsigned long>(hr));
    status_ = Status::Failure(StatusCode::kResource, "Audio client start failed",
                              static_cast<uint32_t>(hr));
    return false;
  }
  running_ = true;
  thread_ = std::thread(&WasapiLoopbackCapture::CaptureLoop, this);
  status_ = Status::Success();
  LOG_INFO("[Audio] Capture started");
  return true;
}

void WasapiLoopbackCapture::Stop() {
  running_ = false;
  if (event_ != nullptr) {
    SetEvent(event_);
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  if (audio_client_) {
    audio_client_->Stop();
  }
  status_ = Status::Success();
}

void WasapiLoopbackCapture::Shutdown() {
  Stop();
  capture_client_.Reset();
  audio_client_.Reset();
  device_.Reset();
  enumerator_.Reset();
  if (event_ != nullptr) {
    CloseHandle(event_);
    event_ = nullptr;
  }
}

void WasapiLoopbackCapture::CaptureLoop() {
  const MultimediaTask task(L"Pro Audio");
  while (running_.load()) {
    const DWORD wait = WaitForSingleObject(event_, kWaitLimitMs);
    if (!running_.load()) {
      break;
    }
    if (wait == WAIT_OBJECT_0) {
      DrainPackets();
    }
  }
}

void WasapiLoopbackCapture::DrainPackets() {
  UINT32 packet_frames = 0;
  while (SUCCEEDED(capture_client_->GetNextPacketSize(&packet_frames)) && packet_frames > 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 device_position = 0;
    UINT64 counter_position = 0;
    const HRESULT hr =
        capture_client_->GetBuffer(&data, &frames, &flags, &device_position, &counter_position);
    if (FAILED(hr)) {
      status_ = Status::Failure(StatusCode::kReceive, "Audio capture GetBuffer() failed",
                                static_cast<uint32_t>(hr));
      return;
    }
    if (callback_ && frames > 0 && (flags & AUDCLNT_BUFFERFLAGS_SILENT) == 0) {
      Deliver(data, frames, counter_position);
    }
    capture_client_->ReleaseBuffer(frames);
    status_ = Status::Success();
  }
}

void WasapiLoopbackCapture::Deliver(const BYTE* data, uint32_t frames, uint64_t counter_position) {
  const uint64_t timestamp_us = TicksToMicros(counter_position, kPositionUnitsPerSecond);
  const size_t samples = size_t{frames} * channels_;
  if (bits_per_sample_ == 16) {
    callback_(reinterpret_cast<const int16_t*>(data), frames, channels_, timestamp_us);
  } else if (bits_per_sample_ == 32) {
    converted_.resize(samples);
    FloatToS16({reinterpret_cast<const float*>(data), samples}, converted_.data());
    callback_(converted_.data(), frames, channels_, timestamp_us);
  }
}

std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCapture() {
  return std::make_unique<WasapiLoopbackCapture>();
}

}  // namespace orvane
