#include "audio/fake_audio_client_wasapi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <thread>

namespace orvane::testing {
namespace {

constexpr DWORD kAutoConvertPcm = 0x80000000;
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kSubtypeIeeeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr uint32_t kPacketsPerSecond = 100;

// The format as WAVE_FORMAT_EXTENSIBLE; nullopt when it is neither PCM nor float or its
// sizes disagree, which no stream format may be.
std::optional<WAVEFORMATEXTENSIBLE> Uncompressed(const WAVEFORMATEX& format) {
  WAVEFORMATEXTENSIBLE full{};
  full.Format = format;
  switch (format.wFormatTag) {
    case WAVE_FORMAT_PCM:
      full.SubFormat = kSubtypePcm;
      full.Samples.wValidBitsPerSample = format.wBitsPerSample;
      break;
    case WAVE_FORMAT_IEEE_FLOAT:
      full.SubFormat = kSubtypeIeeeFloat;
      full.Samples.wValidBitsPerSample = format.wBitsPerSample;
      break;
    case WAVE_FORMAT_EXTENSIBLE:
      if (format.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
        return std::nullopt;
      }
      std::memcpy(&full, &format, sizeof(full));
      break;
    default:
      return std::nullopt;
  }
  const bool is_float = full.SubFormat == kSubtypeIeeeFloat;
  if ((!is_float && full.SubFormat != kSubtypePcm) || (is_float && format.wBitsPerSample != 32) ||
      (!is_float && format.wBitsPerSample != 16 && format.wBitsPerSample != 24 &&
       format.wBitsPerSample != 32) ||
      format.nChannels == 0 || format.nSamplesPerSec == 0 ||
      format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8 ||
      format.nAvgBytesPerSec != format.nSamplesPerSec * format.nBlockAlign) {
    return std::nullopt;
  }
  return full;
}

}  // namespace

WAVEFORMATEXTENSIBLE SurroundFloatMixFormat() {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = 6;
  format.Format.nSamplesPerSec = 44100;
  format.Format.wBitsPerSample = 32;
  format.Format.nBlockAlign = 6 * 4;
  format.Format.nAvgBytesPerSec = 44100 * 6 * 4;
  format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  format.Samples.wValidBitsPerSample = 32;
  format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER |
                         SPEAKER_LOW_FREQUENCY | SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT;
  format.SubFormat = kSubtypeIeeeFloat;
  return format;
}

WAVEFORMATEXTENSIBLE StereoPcmMixFormat() {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = 2;
  format.Format.nSamplesPerSec = 48000;
  format.Format.wBitsPerSample = 16;
  format.Format.nBlockAlign = 2 * 2;
  format.Format.nAvgBytesPerSec = 48000 * 2 * 2;
  format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  format.Samples.wValidBitsPerSample = 16;
  format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
  format.SubFormat = kSubtypePcm;
  return format;
}

FakeAudioClient::FakeAudioClient(FakeEndpoint& endpoint)
    : endpoint_(endpoint),
      mix_(endpoint.mix_format),
      born_invalidations_(endpoint.invalidations.load()) {}

HRESULT FakeAudioClient::Broken(HRESULT result) {
  ++endpoint_.rule_breaks;
  return result;
}

HRESULT FakeAudioClient::QueryInterface(REFIID id, void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  if (id == __uuidof(IUnknown) || id == __uuidof(IAudioClient)) {
    *object = static_cast<IAudioClient*>(this);
  } else if (id == __uuidof(IAudioCaptureClient)) {
    *object = static_cast<IAudioCaptureClient*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG FakeAudioClient::AddRef() {
  return ++references_;
}

ULONG FakeAudioClient::Release() {
  const ULONG left = --references_;
  if (left == 0) {
    delete this;
  }
  return left;
}

bool FakeAudioClient::SameAsMix(const WAVEFORMATEX& format) const {
  const std::optional<WAVEFORMATEXTENSIBLE> given = Uncompressed(format);
  return given && given->Format.nSamplesPerSec == mix_.Format.nSamplesPerSec &&
         given->Format.nChannels == mix_.Format.nChannels &&
         given->Format.wBitsPerSample == mix_.Format.wBitsPerSample &&
         given->SubFormat == mix_.SubFormat;
}

HRESULT FakeAudioClient::Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME,
                                    REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                    LPCGUID) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (stream_format_) {
    return Broken(AUDCLNT_E_ALREADY_INITIALIZED);
  }
  if (format == nullptr) {
    return Broken(E_POINTER);
  }
  if (mode != AUDCLNT_SHAREMODE_SHARED || periodicity != 0) {
    return Broken(E_INVALIDARG);
  }
  const std::optional<WAVEFORMATEXTENSIBLE> given = Uncompressed(*format);
  // Shared mode takes the mix format; anything else needs the engine's converter.
  if (!given || (!SameAsMix(*format) && (flags & kAutoConvertPcm) == 0)) {
    return Broken(AUDCLNT_E_UNSUPPORTED_FORMAT);
  }
  stream_format_ = given;
  flags_ = flags;
  ++endpoint_.initialized;
  return S_OK;
}

HRESULT FakeAudioClient::GetBufferSize(UINT32* frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (!stream_format_) {
    return Broken(AUDCLNT_E_NOT_INITIALIZED);
  }
  *frames = stream_format_->Format.nSamplesPerSec / 50;
  return S_OK;
}

HRESULT FakeAudioClient::GetStreamLatency(REFERENCE_TIME* latency) {
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  *latency = 0;
  return stream_format_ ? S_OK : Broken(AUDCLNT_E_NOT_INITIALIZED);
}

HRESULT FakeAudioClient::GetCurrentPadding(UINT32* frames) {
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  *frames = 0;
  return stream_format_ ? S_OK : Broken(AUDCLNT_E_NOT_INITIALIZED);
}

HRESULT FakeAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                           WAVEFORMATEX** closest) {
  if (closest != nullptr) {
    *closest = nullptr;
  }
  if (format == nullptr) {
    return E_POINTER;
  }
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  return mode == AUDCLNT_SHAREMODE_SHARED && SameAsMix(*format) ? S_OK
                                                                : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

HRESULT FakeAudioClient::GetMixFormat(WAVEFORMATEX** format) {
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (format == nullptr) {
    return Broken(E_POINTER);
  }
  auto* copy = static_cast<WAVEFORMATEXTENSIBLE*>(CoTaskMemAlloc(sizeof(mix_)));
  *copy = mix_;
  *format = &copy->Format;
  return S_OK;
}

HRESULT FakeAudioClient::GetDevicePeriod(REFERENCE_TIME* default_period,
                                         REFERENCE_TIME* minimum_period) {
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (default_period != nullptr) {
    *default_period = 100000;
  }
  if (minimum_period != nullptr) {
    *minimum_period = 30000;
  }
  return S_OK;
}

HRESULT FakeAudioClient::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (!stream_format_) {
    return Broken(AUDCLNT_E_NOT_INITIALIZED);
  }
  if (running_) {
    return Broken(AUDCLNT_E_NOT_STOPPED);
  }
  if ((flags_ & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) != 0 && event_ == nullptr) {
    return Broken(AUDCLNT_E_EVENTHANDLE_NOT_SET);
  }
  running_ = true;
  const uint64_t frames = stream_format_->Format.nSamplesPerSec / kPacketsPerSecond;
  for (uint32_t i = 0; i < endpoint_.packets; ++i) {
    queued_.push_back(TonePacket(frames_made_));
    frames_made_ += frames;
  }
  if (event_ != nullptr && endpoint_.signals_event) {
    SetEvent(event_);
  }
  return S_OK;
}

HRESULT FakeAudioClient::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!stream_format_) {
    return Broken(AUDCLNT_E_NOT_INITIALIZED);
  }
  const bool was_running = running_;
  running_ = false;
  return was_running ? S_OK : S_FALSE;
}

HRESULT FakeAudioClient::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (!stream_format_) {
    return Broken(AUDCLNT_E_NOT_INITIALIZED);
  }
  if (running_) {
    return Broken(AUDCLNT_E_NOT_STOPPED);
  }
  queued_.erase(queued_.begin() + static_cast<ptrdiff_t>(next_packet_), queued_.end());
  return S_OK;
}

HRESULT FakeAudioClient::SetEventHandle(HANDLE event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (event == nullptr) {
    return Broken(E_INVALIDARG);
  }
  if (!stream_format_) {
    return Broken(AUDCLNT_E_NOT_INITIALIZED);
  }
  if ((flags_ & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) == 0) {
    return Broken(AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED);
  }
  event_ = event;
  return S_OK;
}

HRESULT FakeAudioClient::GetService(REFIID id, void** service) {
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (service == nullptr) {
    return Broken(E_POINTER);
  }
  *service = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stream_format_) {
      return Broken(AUDCLNT_E_NOT_INITIALIZED);
    }
  }
  if (id != __uuidof(IAudioCaptureClient)) {
    return E_NOINTERFACE;
  }
  return QueryInterface(id, service);
}

HRESULT FakeAudioClient::GetBuffer(BYTE** data, UINT32* frames, DWORD* flags,
                                   UINT64* device_position, UINT64* counter_position) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (buffer_out_) {
    return Broken(AUDCLNT_E_OUT_OF_ORDER);
  }
  *frames = 0;
  *flags = 0;
  if (next_packet_ == queued_.size()) {
    return AUDCLNT_S_BUFFER_EMPTY;
  }
  std::vector<uint8_t>& packet = queued_[next_packet_];
  *data = packet.data();
  *frames = static_cast<UINT32>(packet.size() / stream_format_->Format.nBlockAlign);
  const uint64_t first_frame = next_packet_ * (stream_format_->Format.nSamplesPerSec / 100);
  if (device_position != nullptr) {
    *device_position = first_frame;
  }
  if (counter_position != nullptr) {
    *counter_position = 10000000 + first_frame * 10000000 / stream_format_->Format.nSamplesPerSec;
  }
  buffer_out_ = true;
  return S_OK;
}

HRESULT FakeAudioClient::ReleaseBuffer(UINT32 frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!buffer_out_) {
    return Broken(AUDCLNT_E_OUT_OF_ORDER);
  }
  const auto packet_frames =
      static_cast<UINT32>(queued_[next_packet_].size() / stream_format_->Format.nBlockAlign);
  if (frames != 0 && frames != packet_frames) {
    return Broken(AUDCLNT_E_INVALID_SIZE);
  }
  buffer_out_ = false;
  if (frames != 0) {
    ++next_packet_;
    ++endpoint_.released_packets;
  }
  return S_OK;
}

HRESULT FakeAudioClient::GetNextPacketSize(UINT32* frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Gone()) {
    return AUDCLNT_E_DEVICE_INVALIDATED;
  }
  if (!stream_format_) {
    return Broken(AUDCLNT_E_NOT_INITIALIZED);
  }
  *frames =
      next_packet_ == queued_.size()
          ? 0
          : static_cast<UINT32>(queued_[next_packet_].size() / stream_format_->Format.nBlockAlign);
  return S_OK;
}

std::vector<uint8_t> FakeAudioClient::TonePacket(uint64_t first_frame) const {
  const WAVEFORMATEX& format = stream_format_->Format;
  const uint32_t frames = format.nSamplesPerSec / kPacketsPerSecond;
  const bool is_float = stream_format_->SubFormat == kSubtypeIeeeFloat;
  const uint32_t sample_bytes = format.wBitsPerSample / 8;
  std::vector<uint8_t> packet(size_t{frames} * format.nBlockAlign);
  for (uint32_t frame = 0; frame < frames; ++frame) {
    const double value =
        0.5 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(first_frame + frame) /
                       format.nSamplesPerSec);
    for (uint32_t channel = 0; channel < format.nChannels; ++channel) {
      uint8_t* sample = packet.data() + size_t{frame} * format.nBlockAlign + channel * sample_bytes;
      if (is_float) {
        const auto f = static_cast<float>(value);
        std::memcpy(sample, &f, sizeof(f));
      } else {
        // Little-endian PCM of any width: the top bytes of a 32-bit sample.
        const auto full = static_cast<int32_t>(value * 2147483647.0);
        std::memcpy(sample, reinterpret_cast<const uint8_t*>(&full) + (4 - sample_bytes),
                    sample_bytes);
      }
    }
  }
  return packet;
}

namespace {

// One endpoint as an IMMDevice: each activation is a new client of it.
class FakeDevice final : public IMMDevice {
 public:
  FakeDevice(FakeEndpoint& endpoint, size_t index) : endpoint_(endpoint), index_(index) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (id != __uuidof(IUnknown) && id != __uuidof(IMMDevice)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IMMDevice*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE Activate(REFIID id, DWORD, PROPVARIANT*, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    *object = nullptr;
    if (id != __uuidof(IAudioClient)) {
      return E_NOINTERFACE;
    }
    ++endpoint_.activations;
    *object = static_cast<IAudioClient*>(new FakeAudioClient(endpoint_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
    if (id == nullptr) {
      return E_POINTER;
    }
    const std::wstring text = L"{0.0.0.00000000}.fake-" + std::to_wstring(index_);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    std::wmemcpy(*id, text.c_str(), text.size() + 1);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
    if (state == nullptr) {
      return E_POINTER;
    }
    *state = DEVICE_STATE_ACTIVE;
    return S_OK;
  }

 private:
  ~FakeDevice() = default;

  std::atomic<ULONG> references_{1};
  FakeEndpoint& endpoint_;
  const size_t index_;
};

}  // namespace

FakeDeviceEnumerator::FakeDeviceEnumerator(std::vector<FakeEndpoint*> endpoints,
                                           size_t default_index)
    : endpoints_(std::move(endpoints)), default_index_(default_index) {}

HRESULT FakeDeviceEnumerator::QueryInterface(REFIID id, void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  if (id != __uuidof(IUnknown) && id != __uuidof(IMMDeviceEnumerator)) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IMMDeviceEnumerator*>(this);
  AddRef();
  return S_OK;
}

ULONG FakeDeviceEnumerator::AddRef() {
  return ++references_;
}

ULONG FakeDeviceEnumerator::Release() {
  const ULONG left = --references_;
  if (left == 0) {
    delete this;
  }
  return left;
}

int FakeDeviceEnumerator::registered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(clients_.size());
}

bool FakeDeviceEnumerator::InsideNotification() const {
  return notifying_thread_.load() == GetCurrentThreadId();
}

void FakeDeviceEnumerator::SetDefault(size_t index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    default_index_ = index;
  }
  for (const ERole role : {eConsole, eMultimedia}) {
    Notify(eRender, role);
  }
}

void FakeDeviceEnumerator::Notify(EDataFlow flow, ERole role) {
  std::vector<IMMNotificationClient*> clients;
  std::wstring id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    clients = clients_;
    if (flow == eRender && default_index_ < endpoints_.size()) {
      id = L"{0.0.0.00000000}.fake-" + std::to_wstring(default_index_);
    }
  }
  std::thread system([&] {
    notifying_thread_ = GetCurrentThreadId();
    for (IMMNotificationClient* client : clients) {
      client->OnDefaultDeviceChanged(flow, role, id.empty() ? nullptr : id.c_str());
    }
    notifying_thread_ = 0;
  });
  system.join();
}

HRESULT FakeDeviceEnumerator::EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) {
  return E_NOTIMPL;
}

HRESULT FakeDeviceEnumerator::GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                      IMMDevice** device) {
  if (device == nullptr) {
    return E_POINTER;
  }
  *device = nullptr;
  if ((flow != eRender && flow != eCapture) || role < eConsole || role > eCommunications) {
    ++rule_breaks_;
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (flow != eRender || default_index_ >= endpoints_.size()) {
    ++failed_lookups_;
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  }
  *device = new FakeDevice(*endpoints_[default_index_], default_index_);
  return S_OK;
}

HRESULT FakeDeviceEnumerator::GetDevice(LPCWSTR, IMMDevice**) {
  return E_NOTIMPL;
}

HRESULT FakeDeviceEnumerator::RegisterEndpointNotificationCallback(IMMNotificationClient* client) {
  if (client == nullptr) {
    return E_POINTER;
  }
  if (InsideNotification()) {
    ++rule_breaks_;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  clients_.push_back(client);
  return S_OK;
}

HRESULT FakeDeviceEnumerator::UnregisterEndpointNotificationCallback(
    IMMNotificationClient* client) {
  if (client == nullptr) {
    return E_POINTER;
  }
  if (InsideNotification()) {
    ++rule_breaks_;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = std::find(clients_.begin(), clients_.end(), client);
  if (found == clients_.end()) {
    ++rule_breaks_;
    return E_NOTFOUND;
  }
  clients_.erase(found);
  return S_OK;
}

}  // namespace orvane::testing
