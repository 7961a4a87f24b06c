#include "audio/loopback_audio_capture_wasapi.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/audio_client_source_wasapi.h"
#include "audio/default_device_watcher_wasapi.h"
#include "audio/pcm_samples.h"
#include "base/logger.h"
#include "platform/clock.h"
#include "platform/multimedia_task.h"

namespace orvane {
namespace {

constexpr REFERENCE_TIME kBufferDuration = 200000;  // 20 ms in 100-ns units
constexpr REFERENCE_TIME kWaitLimitMs = 100;
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

// The engine's default period when the device does not say.
constexpr DWORD kDefaultPollMs = 10;
// A capture that lost its device tries to open the new default this often.
constexpr uint64_t kReopenRetryMs = 1000;

// The stream's device is gone or the audio service restarted: only a new client records.
bool NeedsNewClient(HRESULT hr) {
  return hr == AUDCLNT_E_DEVICE_INVALIDATED || hr == AUDCLNT_E_SERVICE_NOT_RUNNING;
}

class WasapiLoopbackCapture : public LoopbackAudioCapture {
 public:
  explicit WasapiLoopbackCapture(DeviceEnumeratorSource source) : source_(std::move(source)) {}
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
  void WatchDefaultDevice();
  bool Open();
  void Close();
  bool StartClient();
  void CaptureLoop();
  void ReopenWhileRunning();
  void DrainPackets();
  void Deliver(const BYTE* data, uint32_t frames, uint64_t counter_position);
  bool Fail(const char* call, const char* message, HRESULT hr);
  void Shutdown();

  DeviceEnumeratorSource source_;
  Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator_;
  Microsoft::WRL::ComPtr<DefaultDeviceWatcher> watcher_;
  bool watching_ = false;
  bool initialized_ = false;
  Microsoft::WRL::ComPtr<IAudioClient> audio_client_;
  Microsoft::WRL::ComPtr<IAudioCaptureClient> capture_client_;
  PcmCallback callback_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  HANDLE event_ = nullptr;
  // Loopback streams of some Windows versions never signal their event, so the thread
  // also looks for packets after this long without one.
  DWORD poll_ms_ = kDefaultPollMs;
  // Set when the stream's device went away; the capture thread opens the new default.
  bool reopen_pending_ = false;
  uint64_t next_reopen_ms_ = 0;
  // A device that stays away is reported once, not at every retry.
  bool quiet_ = false;
  std::vector<int16_t> converted_;  // float packets as 16-bit samples, reused
  Status status_;
};

}  // namespace

WasapiLoopbackCapture::~WasapiLoopbackCapture() {
  Shutdown();
}

bool WasapiLoopbackCapture::Fail(const char* call, const char* message, HRESULT hr) {
  if (!quiet_) {
    LOG_ERROR("[Audio] %s failed: 0x%08lX", call, static_cast<unsigned long>(hr));
  }
  status_ = Status::Failure(StatusCode::kResource, message, static_cast<uint32_t>(hr));
  return false;
}

bool WasapiLoopbackCapture::Initialize() {
  status_ = Status::Success();
  if (!enumerator_) {
    const HRESULT hr = source_(enumerator_);
    if (FAILED(hr) || !enumerator_) {
      enumerator_.Reset();
      return Fail("CoCreateInstance MMDeviceEnumerator", "Audio device enumerator creation failed",
                  FAILED(hr) ? hr : E_POINTER);
    }
    WatchDefaultDevice();
  }
  initialized_ = Open();
  return initialized_;
}

// Without notifications the capture still records, but stays on the endpoint it opened.
void WasapiLoopbackCapture::WatchDefaultDevice() {
  watcher_.Attach(new DefaultDeviceWatcher());
  const HRESULT hr = enumerator_->RegisterEndpointNotificationCallback(watcher_.Get());
  if (FAILED(hr)) {
    LOG_WARN("[Audio] Default device notifications unavailable: 0x%08lX",
             static_cast<unsigned long>(hr));
    watcher_.Reset();
    return;
  }
  watching_ = true;
}

void WasapiLoopbackCapture::Close() {
  if (audio_client_) {
    audio_client_->Stop();
  }
  capture_client_.Reset();
  audio_client_.Reset();
}

bool WasapiLoopbackCapture::Open() {
  Close();
  Microsoft::WRL::ComPtr<IMMDevice> device;
  HRESULT hr = enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device);
  if (FAILED(hr)) {
    return Fail("GetDefaultAudioEndpoint", "Default audio endpoint is unavailable", hr);
  }
  Microsoft::WRL::ComPtr<IAudioClient> client;
  hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                        reinterpret_cast<void**>(client.GetAddressOf()));
  if (FAILED(hr) || !client) {
    return Fail("Activate IAudioClient", "Audio client activation failed",
                FAILED(hr) ? hr : E_POINTER);
  }
  WAVEFORMATEX* mix = nullptr;
  hr = client->GetMixFormat(&mix);
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
  hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, kStreamFlags, kBufferDuration, 0,
                          &format.Format, nullptr);
  if (FAILED(hr)) {
    return Fail("IAudioClient::Initialize loopback", "Audio loopback initialization failed", hr);
  }
  hr = client->SetEventHandle(event_);
  if (FAILED(hr)) {
    return Fail("SetEventHandle", "Audio event handle registration failed", hr);
  }
  Microsoft::WRL::ComPtr<IAudioCaptureClient> capture;
  hr = client->GetService(IID_PPV_ARGS(&capture));
  if (FAILED(hr)) {
    return Fail("GetService IAudioCaptureClient", "Audio capture service creation failed", hr);
  }
  REFERENCE_TIME period = 0;
  poll_ms_ = kDefaultPollMs;
  if (SUCCEEDED(client->GetDevicePeriod(&period, nullptr)) && period > 0) {
    poll_ms_ = static_cast<DWORD>(std::clamp<REFERENCE_TIME>(period / 10000, 1, kWaitLimitMs));
  }
  audio_client_ = std::move(client);
  capture_client_ = std::move(capture);
  LOG_INFO("[Audio] WASAPI loopback initialized");
  return true;
}

bool WasapiLoopbackCapture::StartClient() {
  const HRESULT hr = audio_client_->Start();
  if (FAILED(hr)) {
    if (!quiet_) {
      LOG_ERROR("[Audio] IAudioClient::Start failed: 0x%08lX", static_cast<unsigned long>(hr));
    }
    status_ = Status::Failure(StatusCode::kResource, "Audio client start failed",
                              static_cast<uint32_t>(hr));
    return false;
  }
  return true;
}

bool WasapiLoopbackCapture::Start(PcmCallback callback) {
  if (running_.load()) {
    return true;
  }
  if (!initialized_) {
    status_ =
        Status::Failure(StatusCode::kResource, "Audio capture was not initialized before Start()");
    return false;
  }
  // The default device may have changed, or gone, since the last stream.
  const bool default_changed = watcher_ && watcher_->TakeChange();
  if (default_changed || reopen_pending_ || !audio_client_) {
    quiet_ = false;
    if (default_changed) {
      LOG_INFO("[Audio] Default playback device changed; reopening loopback capture");
    }
    if (!Open()) {
      return false;
    }
    reopen_pending_ = false;
  }
  callback_ = std::move(callback);
  if (!StartClient()) {
    if (!NeedsNewClient(static_cast<HRESULT>(status_.hr)) || !Open() || !StartClient()) {
      return false;
    }
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
  // Windows keeps no reference of its own: the watcher must stay alive until it is
  // unregistered.
  if (watching_) {
    enumerator_->UnregisterEndpointNotificationCallback(watcher_.Get());
    watching_ = false;
  }
  watcher_.Reset();
  enumerator_.Reset();
  if (event_ != nullptr) {
    CloseHandle(event_);
    event_ = nullptr;
  }
}

void WasapiLoopbackCapture::CaptureLoop() {
  const MultimediaTask task(L"Pro Audio");
  while (running_.load()) {
    WaitForSingleObject(event_, poll_ms_);
    if (!running_.load()) {
      break;
    }
    if (watcher_ && watcher_->TakeChange()) {
      LOG_INFO("[Audio] Default playback device changed; reopening loopback capture");
      reopen_pending_ = true;
      next_reopen_ms_ = 0;
      quiet_ = false;
    }
    if (reopen_pending_ && TickCountMs() >= next_reopen_ms_) {
      ReopenWhileRunning();
    }
    if (capture_client_ && !reopen_pending_) {
      DrainPackets();
    }
  }
}

void WasapiLoopbackCapture::ReopenWhileRunning() {
  if (Open() && StartClient()) {
    LOG_INFO("[Audio] Loopback capture reopened");
    reopen_pending_ = false;
    quiet_ = false;
    status_ = Status::Success();
    return;
  }
  Close();
  quiet_ = true;
  next_reopen_ms_ = TickCountMs() + kReopenRetryMs;
}

void WasapiLoopbackCapture::DrainPackets() {
  UINT32 packet_frames = 0;
  HRESULT hr = S_OK;
  while (SUCCEEDED(hr = capture_client_->GetNextPacketSize(&packet_frames)) && packet_frames > 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 device_position = 0;
    UINT64 counter_position = 0;
    hr = capture_client_->GetBuffer(&data, &frames, &flags, &device_position, &counter_position);
    if (FAILED(hr)) {
      status_ = Status::Failure(StatusCode::kReceive, "Audio capture GetBuffer() failed",
                                static_cast<uint32_t>(hr));
      break;
    }
    if (callback_ && frames > 0 && (flags & AUDCLNT_BUFFERFLAGS_SILENT) == 0) {
      Deliver(data, frames, counter_position);
    }
    capture_client_->ReleaseBuffer(frames);
    status_ = Status::Success();
  }
  if (NeedsNewClient(hr)) {
    LOG_WARN("[Audio] Audio device invalidated (0x%08lX); reopening loopback capture",
             static_cast<unsigned long>(hr));
    reopen_pending_ = true;
    next_reopen_ms_ = 0;
  }
}

void WasapiLoopbackCapture::Deliver(const BYTE* data, uint32_t frames, uint64_t counter_position) {
  const size_t samples = size_t{frames} * kCaptureChannels;
  converted_.resize(samples);
  FloatToS16({reinterpret_cast<const float*>(data), samples}, converted_.data());
  callback_(converted_.data(), frames, kCaptureChannels,
            TicksToMicros(counter_position, kPositionUnitsPerSecond));
}

HRESULT CreateSystemDeviceEnumerator(Microsoft::WRL::ComPtr<IMMDeviceEnumerator>& enumerator) {
  return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                          IID_PPV_ARGS(&enumerator));
}

std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCapture() {
  return CreateWasapiLoopbackCaptureFrom(CreateSystemDeviceEnumerator);
}

std::unique_ptr<LoopbackAudioCapture> CreateWasapiLoopbackCaptureFrom(
    DeviceEnumeratorSource source) {
  return std::make_unique<WasapiLoopbackCapture>(std::move(source));
}

}  // namespace orvane
