#include "audio/opus_transform_mf.h"

#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <cstring>

#include "base/logger.h"

namespace orvane {
namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD kDefaultOutputBytes = 4096;

class MfOpusTransform : public OpusTransform {
 public:
  MfOpusTransform() = default;
  ~MfOpusTransform() override;
  MfOpusTransform(const MfOpusTransform&) = delete;
  MfOpusTransform& operator=(const MfOpusTransform&) = delete;

  bool Initialize(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps) override;
  AudioEncodeResult Encode(const int16_t* pcm, uint32_t frames, uint32_t channels,
                           uint64_t timestamp_us, EncodedAudioPacket& out) override;
  void Shutdown() override;
  Status LastStatus() const override { return status_; }

 private:
  bool Activate();
  bool SetMediaTypes(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps);
  bool Fail(StatusCode code, const char* message, HRESULT hr);
  AudioEncodeResult FailEncode(StatusCode code, const char* message, HRESULT hr);
  AudioEncodeResult TakeOutput(uint32_t frames, uint64_t timestamp_us, EncodedAudioPacket& out);

  ComPtr<IMFTransform> transform_;
  uint32_t sample_rate_ = 48000;
  Status status_;
};

}  // namespace

MfOpusTransform::~MfOpusTransform() {
  Shutdown();
}

bool MfOpusTransform::Fail(StatusCode code, const char* message, HRESULT hr) {
  status_ = Status::Failure(code, message, static_cast<uint32_t>(hr));
  return false;
}

AudioEncodeResult MfOpusTransform::FailEncode(StatusCode code, const char* message, HRESULT hr) {
  Fail(code, message, hr);
  return AudioEncodeResult::kFailed;
}

bool MfOpusTransform::Initialize(uint32_t sample_rate, uint32_t channels, uint32_t bitrate_kbps) {
  Shutdown();
  sample_rate_ = sample_rate;
  if (!Activate() || !SetMediaTypes(sample_rate, channels, bitrate_kbps)) {
    return false;
  }
  transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
  transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
  status_ = Status::Success();
  return true;
}

bool MfOpusTransform::Activate() {
  MFT_REGISTER_TYPE_INFO output{MFMediaType_Audio, MFAudioFormat_Opus};
  IMFActivate** activates = nullptr;
  UINT32 count = 0;
  HRESULT hr =
      MFTEnumEx(MFT_CATEGORY_AUDIO_ENCODER, MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_SORTANDFILTER,
                nullptr, &output, &activates, &count);
  if (FAILED(hr) || count == 0) {
    CoTaskMemFree(activates);
    return Fail(StatusCode::kCodec, "No Opus MFT encoder found", hr);
  }
  hr = activates[0]->ActivateObject(IID_PPV_ARGS(transform_.ReleaseAndGetAddressOf()));
  for (UINT32 i = 0; i < count; ++i) {
    activates[i]->Release();
  }
  CoTaskMemFree(activates);
  if (FAILED(hr)) {
    transform_.Reset();
    return Fail(StatusCode::kCodec, "Failed to activate Opus MFT encoder", hr);
  }
  return true;
}

bool MfOpusTransform::SetMediaTypes(uint32_t sample_rate, uint32_t channels,
                                    uint32_t bitrate_kbps) {
  ComPtr<IMFMediaType> output;
  HRESULT hr = MFCreateMediaType(&output);
  if (SUCCEEDED(hr)) {
    output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    output->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_Opus);
    output->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, sample_rate);
    output->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
    output->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, bitrate_kbps * 125);
    output->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    hr = transform_->SetOutputType(0, output.Get(), 0);
  }
  if (FAILED(hr)) {
    LOG_WARN("[OpusEnc] MFT SetOutputType failed: 0x%08lX", static_cast<unsigned long>(hr));
    transform_.Reset();
    return Fail(StatusCode::kCodec, "Opus MFT SetOutputType failed", hr);
  }
  ComPtr<IMFMediaType> input;
  hr = MFCreateMediaType(&input);
  if (SUCCEEDED(hr)) {
    input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    input->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    input->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, sample_rate);
    input->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
    input->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    input->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * 2);
    input->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, channels * sample_rate * 2);
    hr = transform_->SetInputType(0, input.Get(), 0);
  }
  if (FAILED(hr)) {
    LOG_WARN("[OpusEnc] MFT SetInputType failed: 0x%08lX", static_cast<unsigned long>(hr));
    transform_.Reset();
    return Fail(StatusCode::kCodec, "Opus MFT SetInputType failed", hr);
  }
  return true;
}

void MfOpusTransform::Shutdown() {
  if (transform_) {
    // What a drain would still give is not collected.
    transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_END_OF_STREAM, 0);
    transform_->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0);
    transform_.Reset();
  }
  status_ = Status::Success();
}

AudioEncodeResult MfOpusTransform::Encode(const int16_t* pcm, uint32_t frames, uint32_t channels,
                                          uint64_t timestamp_us, EncodedAudioPacket& out) {
  if (!transform_) {
    return FailEncode(StatusCode::kCodec, "MFT encoder is unavailable", E_FAIL);
  }
  const DWORD bytes = channels * frames * 2;
  ComPtr<IMFMediaBuffer> buffer;
  HRESULT hr = MFCreateMemoryBuffer(bytes, &buffer);
  if (FAILED(hr)) {
    return FailEncode(StatusCode::kResource, "Failed to allocate Opus input buffer", hr);
  }
  BYTE* destination = nullptr;
  hr = buffer->Lock(&destination, nullptr, nullptr);
  if (FAILED(hr)) {
    return FailEncode(StatusCode::kResource, "Failed to lock Opus input buffer", hr);
  }
  std::memcpy(destination, pcm, bytes);
  buffer->Unlock();
  buffer->SetCurrentLength(bytes);
  ComPtr<IMFSample> sample;
  hr = MFCreateSample(&sample);
  if (FAILED(hr)) {
    return FailEncode(StatusCode::kResource, "Failed to allocate Opus input sample", hr);
  }
  sample->AddBuffer(buffer.Get());
  sample->SetSampleTime(static_cast<LONGLONG>(timestamp_us * 10));
  sample->SetSampleDuration(static_cast<LONGLONG>(uint64_t{frames} * 10000000 / sample_rate_));
  hr = transform_->ProcessInput(0, sample.Get(), 0);
  if (FAILED(hr)) {
    return FailEncode(
        StatusCode::kCodec,
        hr == MF_E_NOTACCEPTING ? "Opus MFT requires output drain" : "Opus MFT ProcessInput failed",
        hr);
  }
  return TakeOutput(frames, timestamp_us, out);
}

AudioEncodeResult MfOpusTransform::TakeOutput(uint32_t frames, uint64_t timestamp_us,
                                              EncodedAudioPacket& out) {
  MFT_OUTPUT_STREAM_INFO info{};
  transform_->GetOutputStreamInfo(0, &info);
  ComPtr<IMFSample> own_sample;
  if ((info.dwFlags & MFT_OUTPUT_STREAM_PROVIDES_SAMPLES) == 0) {
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = MFCreateSample(&own_sample);
    if (SUCCEEDED(hr)) {
      hr = MFCreateMemoryBuffer(info.cbSize != 0 ? info.cbSize : kDefaultOutputBytes, &buffer);
    }
    if (FAILED(hr)) {
      return FailEncode(StatusCode::kResource, "Failed to allocate Opus output sample", hr);
    }
    own_sample->AddBuffer(buffer.Get());
  }
  MFT_OUTPUT_DATA_BUFFER output{};
  output.dwStreamID = 0;
  output.pSample = own_sample.Get();
  DWORD output_status = 0;
  const HRESULT hr = transform_->ProcessOutput(0, 1, &output, &output_status);
  if (output.pEvents != nullptr) {
    output.pEvents->Release();
  }
  ComPtr<IMFSample> result = own_sample;
  if (!own_sample) {
    result.Attach(output.pSample);  // provided by the transform: ours to release
  }
  if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) {
    Fail(StatusCode::kCodec, "Opus MFT requires more input", hr);
    return AudioEncodeResult::kNeedMoreInput;
  }
  if (FAILED(hr)) {
    return FailEncode(StatusCode::kCodec, "Opus MFT ProcessOutput failed", hr);
  }
  if (!result) {
    return FailEncode(StatusCode::kResource, "Opus MFT returned empty output sample", E_FAIL);
  }
  ComPtr<IMFMediaBuffer> contiguous;
  HRESULT step = result->ConvertToContiguousBuffer(&contiguous);
  if (FAILED(step)) {
    return FailEncode(StatusCode::kResource, "Failed to flatten Opus output sample", step);
  }
  BYTE* data = nullptr;
  DWORD length = 0;
  step = contiguous->Lock(&data, nullptr, &length);
  if (FAILED(step)) {
    return FailEncode(StatusCode::kResource, "Failed to lock Opus output buffer", step);
  }
  out.bytes.assign(data, data + length);
  contiguous->Unlock();
  out.timestamp_us = timestamp_us;
  out.duration_ms = static_cast<uint8_t>(uint64_t{frames} * 1000 / sample_rate_);
  status_ = Status::Success();
  return AudioEncodeResult::kPacket;
}

std::unique_ptr<OpusTransform> CreateMfOpusTransform() {
  return std::make_unique<MfOpusTransform>();
}

}  // namespace orvane
