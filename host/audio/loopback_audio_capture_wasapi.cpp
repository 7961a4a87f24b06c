#include "audio/loopback_audio_capture_wasapi.h"

#include <windows.h>

#include <mmdeviceapi.h>
#include <mmreg.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/audio_client_source_wasapi.h"
#include "audio/pcm_samples.h"
#include "base/logger.h"
#include "platform/multimedia_task.h"

namespace orvane {
namespace {

constexpr REFERENCE_TIME kBufferDuration = 200000;  // 20 ms in 100-ns units
constexpr DWORD kWaitLimitMs = 100;
// GetBuffer reports the performance-counter position in 100-ns units.
constexpr uint64_t kPositionUnitsPerSecond = 10000000;

// Stream flags the MinGW headers do not define: the engine converts the mix format into
// the one we ask for, with its better sample-rate converter.
constexpr DWORD kAutoConvertPcm = 0x80000000;
constexpr DWORD kSrcDefaultQuality = 0x08000000;
constexpr DWORD kStreamFlags = AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                               kAutoConvertPcm | kSrcDefaultQuality;

constexpr uint32_t kCaptureRate = 48000;
constexpr uint16_t kCaptureChannels = 2;
// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, spelt out so no GUID library is needed.
constexpr GUID kSubtypeIeeeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What the stream delivers: 48 kHz stereo 32-bit float, as Opus takes it.
WAVEFORMATEXTENSIBLE CaptureFormat() {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = kCaptureChannels;
  format.Format.nSamplesPerSec = kCaptureRate;
  format.Format.wBitsPerSample = 32;
  format.Format.nBlockAlign = kCaptureChannels * sizeof(float);
  format.Format.nAvgBytesPerSec = kCaptureRate * format.Format.nBlockAlign;
  format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  format.Samples.wValidBitsPerSample = 32;
  format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
  format.SubFormat = kSubtypeIeeeFloat;
  return format;
}

class WasapiLoopbackCapture : public LoopbackAudioCapture {
 public:
  explicit WasapiLoopbackCapture(AudioClientSource source) : source_(std::move(source)) {}
  ~WasapiLoopbackCapture() override;
  WasapiLoopbackCapture(const WasapiLoopbackCapture&) = delete;
  WasapiLoopbackCapture& operator=(const WasapiLoopbackCapture&) = delete;

  bool Initialize() override;
  bool Start(PcmCallback callback) override;
  void Stop() override;
  uint32_t sample_rate() const override { return kCaptureRate; }
  uint32_t channels() const override { return kCaptureChannels; }
  Status LastStatus() const override { return status_; }

 private:
  void CaptureLoop();
  void DrainPackets();
  void Deliver(const BYTE* data, uint32_t frames, uint64_t counter_position);
  bool Fail(const char* call, const char* message, HRESULT hr);
  void Shutdown();

  AudioClientSource source_;
  Microsoft::WRL::ComPtr<IAudioClient> audio_client_;
  Microsoft::WRL::ComPtr<IAudioCaptureClient> capture_client_;
  PcmCallback callback_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  HANDLE event_ = nullptr;
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
  capture_client_.Reset();
  AudioClientActivation activation = source_();
  if (!activation.client) {
    return Fail(activation.failed_call, activation.failure, activation.hr);
  }
  audio_client_ = std::move(activation.client);
  WAVEFORMATEX* mix = nullptr;
  HRESULT hr = audio_client_->GetMixFormat(&mix);
  if (FAILED(hr)) {
    return Fail("GetMixFormat", "Audio mix format query failed", hr);
  }
  LOG_INFO("[Audio] Mix format: %uHz, %uch, %ubit", static_cast<unsigned>(mix->nSamplesPerSec),
           static_cast<unsigned>(mix->nChannels), static_cast<unsigned>(mix->wBitsPerSample));
  CoTaskMemFree(mix);
  if (event_ == nullptr) {
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  const WAVEFORMATEXTENSIBLE format = CaptureFormat();
  hr = audio_client_->Initialize(AUDCLNT_SHAREMODE_SHARED, kStreamFlags, kBufferDuration, 0,
                                 &format.Format, nullptr);
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
  const size_t samples = size_t{frames} * kCaptureChannels;
  converted_.resize(samples);
  FloatToS16({reinterpret_cast<const float*>(data), samples}, converted_.data());
  callback_(converted_.data(), frames, kCaptureChannels,
            TicksToMicros(counter_position, kPositionUnitsPerSecond));
}

AudioClientActivation ActivateDefaultRenderClient() {
  AudioClientActivation activation;
  Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
  activation.hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                   IID_PPV_ARGS(&enumerator));
  if (FAILED(activation.hr)) {
    activation.failed_call = "CoCreateInstance MMDeviceEnumerator";
    activation.failure = "Audio device enumerator creation failed";
    return activation;
  }
  Microsoft::WRL::ComPtr<IMMDevice> device;
  activation.hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device);
  if (FAILED(activation.hr)) {
    activation.failed_call = "GetDefaultAudioEndpoint";
    activation.failure = "Default audio endpoint is unavailable";
    return activation;
  }
  activation.hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(activation.client.GetAddressOf()));
  if (FAILED(activation.hr)) {
    activation.client.Reset();
    activation.failed_call = "Activate IAudioClient";
    activation.failure = "Audio client activation failed";
  }
  return activation;
}

std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCapture() {
  return CreateWasapiLoopbackCaptureFrom(ActivateDefaultRenderClient);
}

std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCaptureFrom(AudioClientSource source) {
  return std::make_unique<WasapiLoopbackCapture>(std::move(source));
}

}  // namespace orvane
