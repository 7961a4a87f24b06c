#include "video/video_encoder_mf.h"

#include <codecapi.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <strmif.h>

#include <cstring>

#include "base/logger.h"
#include "video/encoder_activation_mf.h"
#include "video/encoder_input.h"
#include "video/encoder_media_types_mf.h"
#include "video/force_cpu_nv12.h"

namespace orvane {
namespace {

// How long an asynchronous transform may take to ask for input or to announce the
// output of the frame just given; a synchronous one never waits.
constexpr uint32_t kInputRequestWaitMs = 20;
constexpr uint32_t kOutputWaitMs = 20;

unsigned long Hex(HRESULT hr) {
  return static_cast<unsigned long>(hr);
}

}  // namespace

bool MfVideoEncoder::Fail(StatusCode code, const char* message, HRESULT hr) {
  status_ = Status::Failure(code, message, static_cast<uint32_t>(hr));
  return false;
}

void MfVideoEncoder::SetCodecValue(const GUID& property, uint32_t value) {
  ComRef<ICodecAPI> codec_api;
  if (FAILED(transform_.QueryTo(IID_ICodecAPI, codec_api))) {
    return;
  }
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = VT_UI4;
  variant.ulVal = value;
  codec_api->SetValue(&property, &variant);
}

void MfVideoEncoder::SetCodecFlag(const GUID& property, bool value) {
  ComRef<ICodecAPI> codec_api;
  if (FAILED(transform_.QueryTo(IID_ICodecAPI, codec_api))) {
    return;
  }
  // Boolean codec properties take VT_BOOL; encoders refuse them as integers.
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = VT_BOOL;
  variant.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  codec_api->SetValue(&property, &variant);
}

bool MfVideoEncoder::SetOutputType() {
  const EncoderPicture picture{width_, height_, fps_.load()};
  if (FAILED(CreateEncoderOutputType(hevc_, picture, bitrate_kbps_, output_type_))) {
    return false;
  }
  const HRESULT hr = transform_->SetOutputType(0, output_type_.get(), 0);
  if (FAILED(hr)) {
    LOG_ERROR("[Encoder] SetOutputType failed: 0x%08lX", Hex(hr));
    return false;
  }
  return true;
}

void MfVideoEncoder::UseNv12Converter(const char* format_name) {
  input_buffer_.resize(Nv12FrameSize(width_, height_));
  if (ForceCpuNv12()) {
    gpu_converter_enabled_ = false;
    LOG_WARN(
        "[Encoder] Input type set: %s (GPU BGRA->NV12 converter disabled by "
        "ORVANE_FORCE_CPU_NV12, using CPU fallback)",
        format_name);
    return;
  }
  gpu_converter_enabled_ = gpu_converter_.Initialize(width_, height_, fps_.load());
  if (gpu_converter_enabled_) {
    LOG_INFO("[Encoder] Input type set: %s (GPU BGRA->NV12 converter enabled)", format_name);
  } else {
    LOG_WARN("[Encoder] Input type set: %s (GPU converter unavailable, using CPU fallback)",
             format_name);
  }
}

bool MfVideoEncoder::SetInputType() {
  const EncoderPicture picture{width_, height_, fps_.load()};
  for (const EncoderInputFormat format : kEncoderInputFormats) {
    const char* format_name = EncoderInputFormatName(format);
    ComRef<IMFMediaType> type;
    HRESULT hr = CreateEncoderInputType(format, picture, type);
    if (SUCCEEDED(hr)) {
      hr = transform_->SetInputType(0, type.get(), 0);
    }
    if (FAILED(hr)) {
      LOG_WARN("[Encoder] Input type %s not accepted: 0x%08lX", format_name, Hex(hr));
      continue;
    }
    input_type_ = type;
    nv12_input_ = format == EncoderInputFormat::kNv12;
    if (nv12_input_) {
      UseNv12Converter(format_name);
    } else {
      input_buffer_.clear();
      gpu_converter_enabled_ = false;
      LOG_INFO("[Encoder] Input type set: %s (direct GPU-friendly BGRA feed)", format_name);
    }
    return true;
  }
  if (hardware_) {
    LOG_WARN("[Encoder] No compatible input type found on hardware encoder");
  } else {
    LOG_ERROR("[Encoder] No compatible input type found");
  }
  return false;
}

bool MfVideoEncoder::Negotiate(bool hardware) {
  ActivatedEncoder encoder;
  const bool activated = source_(hevc_, hardware, encoder, status_);
  transform_ = std::move(encoder.transform);
  activation_ = std::move(encoder.activation);
  if (!activated || !transform_) {
    return false;
  }
  hardware_ = hardware;
  if (FAILED(events_.Attach(*transform_.get()))) {
    return false;
  }
  SetCodecFlag(CODECAPI_AVLowLatencyMode, true);
  return SetOutputType() && SetInputType();
}

bool MfVideoEncoder::StartStreaming() {
  HRESULT hr = transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
  if (FAILED(hr)) {
    LOG_ERROR("[Encoder] Begin streaming failed: 0x%08lX", Hex(hr));
    return Fail(StatusCode::kCodec, "Encoder begin streaming failed", hr);
  }
  hr = transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
  if (FAILED(hr)) {
    LOG_ERROR("[Encoder] Start of stream failed: 0x%08lX", Hex(hr));
    return Fail(StatusCode::kCodec, "Encoder start of stream failed", hr);
  }
  return true;
}

bool MfVideoEncoder::Initialize(VideoCodec codec, uint32_t width, uint32_t height, uint32_t fps,
                                uint32_t bitrate_kbps) {
  Shutdown();
  status_ = Status::Success();
  hevc_ = codec == VideoCodec::kHevc;
  width_ = width;
  height_ = height;
  fps_.store(fps);
  bitrate_kbps_ = bitrate_kbps;
  requested_bitrate_kbps_.store(0);
  parameter_sets_.Reset(hevc_);

  bool ready = false;
  if (Negotiate(true)) {
    ready = true;
  } else if (transform_) {
    LOG_WARN(
        "[Encoder] Hardware encoder type negotiation failed; falling back to software encoder");
  } else {
    // Machines without a hardware encoder still stream, on the software one.
    LOG_WARN("[Encoder] No hardware encoder available; using the software encoder");
  }
  if (!ready) {
    ReleaseTransform();
    input_buffer_.clear();
    if (!Negotiate(false)) {
      ReleaseTransform();
      return Fail(StatusCode::kCodec, "Failed to configure software encoder",
                  static_cast<HRESULT>(kHresultFail));
    }
  }
  if (!StartStreaming()) {
    ReleaseTransform();
    return false;
  }
  initialized_ = true;
  status_ = Status::Success();
  LOG_INFO("[Encoder] Initialized: %s %ux%u @%u fps, %u kbps", hevc_ ? "HEVC" : "H264", width,
           height, fps, bitrate_kbps);
  return true;
}

std::span<const uint8_t> MfVideoEncoder::PrepareInput(const uint8_t* data, uint32_t row_pitch,
                                                      uint32_t width, uint32_t height) {
  if (!nv12_input_) {
    return PackedBgra(data, row_pitch, width, height, input_buffer_);
  }
  if (gpu_converter_enabled_) {
    if (gpu_converter_.Convert(data, row_pitch, width, height, input_buffer_)) {
      return {input_buffer_.data(), Nv12FrameSize(width, height)};
    }
    const Status& failure = gpu_converter_.status();
    LOG_WARN(
        "[Encoder] GPU BGRA->NV12 conversion failed code=%d msg=%s hr=0x%08lX -- falling back "
        "to CPU",
        failure.code, failure.message.c_str(), static_cast<unsigned long>(failure.hr));
  }
  return CpuNv12(data, row_pitch, width, height, input_buffer_);
}

bool MfVideoEncoder::SubmitInput(std::span<const uint8_t> bytes, uint64_t timestamp_us) {
  const DWORD size = static_cast<DWORD>(bytes.size());
  ComRef<IMFMediaBuffer> buffer;
  HRESULT hr = MFCreateMemoryBuffer(size, buffer.Put());
  if (FAILED(hr)) {
    return Fail(StatusCode::kResource, "Failed to allocate encoder input buffer", hr);
  }
  BYTE* destination = nullptr;
  hr = buffer->Lock(&destination, nullptr, nullptr);
  if (FAILED(hr)) {
    return Fail(StatusCode::kResource, "Failed to lock encoder input buffer", hr);
  }
  std::memcpy(destination, bytes.data(), bytes.size());
  buffer->Unlock();
  buffer->SetCurrentLength(size);

  ComRef<IMFSample> sample;
  hr = MFCreateSample(sample.Put());
  if (FAILED(hr)) {
    return Fail(StatusCode::kResource, "Failed to allocate encoder input sample", hr);
  }
  sample->AddBuffer(buffer.get());
  sample->SetSampleTime(SampleTimeFromMicros(timestamp_us));
  sample->SetSampleDuration(SampleDuration(fps_.load()));

  hr = AwaitInputRequest();
  if (hr == S_OK) {
    hr = transform_->ProcessInput(0, sample.get(), 0);
  } else if (hr == S_FALSE) {
    return false;  // collecting output failed; LastStatus says why
  }
  if (FAILED(hr)) {
    LOG_ERROR("[Encoder] ProcessInput failed: 0x%08lX", Hex(hr));
    return Fail(StatusCode::kCodec, "Encoder process input failed", hr);
  }
  awaiting_output_ = events_.asynchronous();
  return true;
}

HRESULT MfVideoEncoder::AwaitInputRequest() {
  if (!events_.asynchronous()) {
    return S_OK;
  }
  const ULONGLONG deadline = GetTickCount64() + kInputRequestWaitMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const uint32_t wait_ms = now < deadline ? static_cast<uint32_t>(deadline - now) : 0;
    if (!events_.WaitForInputOrOutput(wait_ms)) {
      return MF_E_NOTACCEPTING;
    }
    // Announced output is taken before input is given: a transform may hold back its
    // next input request until then.
    if (events_.TakeOutputReady()) {
      EncodedAccessUnit unit;
      const OutputResult result = TakeOutput(unit);
      if (result == OutputResult::kFailed) {
        return S_FALSE;
      }
      if (result == OutputResult::kUnit) {
        collected_.push_back(std::move(unit));
      }
      continue;
    }
    if (events_.TakeInputRequest()) {
      return S_OK;
    }
  }
}

bool MfVideoEncoder::EncodeFrame(const uint8_t* data, uint32_t row_pitch, uint32_t width,
                                 uint32_t height, uint64_t timestamp_us) {
  if (!initialized_ || !transform_) {
    return Fail(StatusCode::kCodec, "Encoder is not initialized",
                static_cast<HRESULT>(kHresultFail));
  }
  ApplyRequestedBitrate();
  if (!SubmitInput(PrepareInput(data, row_pitch, width, height), timestamp_us)) {
    return false;
  }
  status_ = Status::Success();
  return true;
}

bool MfVideoEncoder::ReceiveAccessUnit(EncodedAccessUnit& out) {
  if (!initialized_ || !transform_) {
    return Fail(StatusCode::kCodec, "Encoder is not initialized",
                static_cast<HRESULT>(kHresultFail));
  }
  if (!collected_.empty()) {
    out = std::move(collected_.front());
    collected_.pop_front();
    status_ = Status::Success();
    return true;
  }
  if (events_.asynchronous()) {
    const bool output_ready = events_.WaitForOutput(awaiting_output_ ? kOutputWaitMs : 0);
    awaiting_output_ = false;
    if (!output_ready) {
      return false;
    }
    events_.TakeOutputReady();
  }
  return TakeOutput(out) == OutputResult::kUnit;
}

HRESULT MfVideoEncoder::RunProcessOutput(ComRef<IMFSample>& sample, bool& allocation_failed) {
  allocation_failed = false;
  sample.Reset();
  MFT_OUTPUT_STREAM_INFO info{};
  HRESULT hr = transform_->GetOutputStreamInfo(0, &info);
  MFT_OUTPUT_DATA_BUFFER output{};
  if (SUCCEEDED(hr) && (info.dwFlags & MFT_OUTPUT_STREAM_PROVIDES_SAMPLES) == 0) {
    allocation_failed = true;
    hr = MFCreateSample(sample.Put());
    if (FAILED(hr)) {
      Fail(StatusCode::kResource, "Failed to create encoder output sample", hr);
      return hr;
    }
    ComRef<IMFMediaBuffer> buffer;
    hr = MFCreateMemoryBuffer(info.cbSize, buffer.Put());
    if (FAILED(hr)) {
      Fail(StatusCode::kResource, "Failed to create encoder output buffer", hr);
      return hr;
    }
    allocation_failed = false;
    sample->AddBuffer(buffer.get());
    output.pSample = sample.get();
  }
  DWORD process_status = 0;
  if (SUCCEEDED(hr)) {
    hr = transform_->ProcessOutput(0, 1, &output, &process_status);
  }
  if (output.pEvents != nullptr) {
    output.pEvents->Release();
  }
  if (output.pSample != nullptr && output.pSample != sample.get()) {
    *sample.Put() = output.pSample;  // the transform's own sample, released with `sample`
  }
  return hr;
}

bool MfVideoEncoder::ChooseOutputTypeAgain() {
  ComRef<IMFMediaType> type;
  HRESULT hr = transform_->GetOutputAvailableType(0, 0, type.Put());
  // The encoder's proposal need not repeat the colour it was told.
  if (SUCCEEDED(hr)) {
    hr = SetEncodedColour(*type.get());
  }
  if (SUCCEEDED(hr)) {
    hr = transform_->SetOutputType(0, type.get(), 0);
  }
  if (FAILED(hr)) {
    LOG_ERROR("[Encoder] SetOutputType failed: 0x%08lX", Hex(hr));
    return false;
  }
  output_type_ = type;
  // The new type may come with parameter sets of its own.
  parameter_sets_.Reset(hevc_);
  return true;
}

void MfVideoEncoder::KeepParameterSets(std::vector<uint8_t>& bytes) {
  if (!parameter_sets_.has_parameter_sets()) {
    ComRef<IMFMediaType> current;
    UINT8* header = nullptr;
    UINT32 header_size = 0;
    if (SUCCEEDED(transform_->GetOutputCurrentType(0, current.Put())) && current &&
        SUCCEEDED(current->GetAllocatedBlob(MF_MT_MPEG_SEQUENCE_HEADER, &header, &header_size))) {
      parameter_sets_.Remember({header, header_size});
      CoTaskMemFree(header);
    }
  }
  parameter_sets_.Complete(bytes);
}

MfVideoEncoder::OutputResult MfVideoEncoder::TakeOutput(EncodedAccessUnit& out) {
  ComRef<IMFSample> sample;
  bool allocation_failed = false;
  HRESULT hr = RunProcessOutput(sample, allocation_failed);
  // The format changed (often on the first output, once the encoder knows its
  // parameters): the output type is chosen again and the same output asked for again.
  for (int retries = 0; hr == MF_E_TRANSFORM_STREAM_CHANGE && retries < 2; ++retries) {
    LOG_INFO("[Encoder] Output format changed; choosing the output type again");
    if (!ChooseOutputTypeAgain()) {
      break;
    }
    hr = RunProcessOutput(sample, allocation_failed);
  }
  if (allocation_failed) {
    return OutputResult::kFailed;
  }
  if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) {
    return OutputResult::kNone;
  }
  if (FAILED(hr)) {
    LOG_ERROR("[Encoder] ProcessOutput failed: 0x%08lX", Hex(hr));
    Fail(StatusCode::kCodec, "Encoder process output failed", hr);
    return OutputResult::kFailed;
  }
  if (!sample) {
    Fail(StatusCode::kResource, "Encoder returned empty output sample",
         static_cast<HRESULT>(kHresultFail));
    return OutputResult::kFailed;
  }
  ComRef<IMFMediaBuffer> contiguous;
  hr = sample->ConvertToContiguousBuffer(contiguous.Put());
  if (FAILED(hr)) {
    Fail(StatusCode::kResource, "Failed to flatten encoded frame buffer", hr);
    return OutputResult::kFailed;
  }
  BYTE* bytes = nullptr;
  DWORD length = 0;
  hr = contiguous->Lock(&bytes, nullptr, &length);
  if (FAILED(hr)) {
    Fail(StatusCode::kResource, "Failed to lock encoded frame buffer", hr);
    return OutputResult::kFailed;
  }
  out.bytes.assign(bytes, bytes + length);
  contiguous->Unlock();
  KeepParameterSets(out.bytes);
  UINT32 clean_point = 0;
  if (SUCCEEDED(sample->GetUINT32(MFSampleExtension_CleanPoint, &clean_point))) {
    out.keyframe = clean_point != 0;
  }
  LONGLONG sample_time = 0;
  if (SUCCEEDED(sample->GetSampleTime(&sample_time))) {
    out.timestamp_us = MicrosFromSampleTime(sample_time);
  }
  status_ = Status::Success();
  return OutputResult::kUnit;
}

void MfVideoEncoder::RequestKeyframe() {
  if (transform_) {
    SetCodecValue(CODECAPI_AVEncVideoForceKeyFrame, 1);
  }
}

bool MfVideoEncoder::SetBitrate(uint32_t bitrate_kbps) {
  requested_bitrate_kbps_.store(bitrate_kbps);
  return true;
}

void MfVideoEncoder::ApplyRequestedBitrate() {
  const uint32_t requested = requested_bitrate_kbps_.exchange(0);
  if (requested == 0) {
    return;
  }
  bitrate_kbps_ = requested;
  SetCodecValue(CODECAPI_AVEncCommonMeanBitRate, requested * 1000);
}

void MfVideoEncoder::SetFrameRate(uint32_t fps) {
  fps_.store(fps);
}

void MfVideoEncoder::ReleaseTransform() {
  events_.Detach();
  output_type_.Reset();
  input_type_.Reset();
  // A hardware session stays open until it is shut down, whoever still holds a
  // reference; the next stream's encoder could not start beside it.
  ComRef<IMFShutdown> shutdown;
  if (SUCCEEDED(transform_.QueryTo(__uuidof(IMFShutdown), shutdown))) {
    shutdown->Shutdown();
  }
  shutdown.Reset();
  transform_.Reset();
  if (activation_) {
    activation_->ShutdownObject();
    activation_.Reset();
  }
  collected_.clear();
  hardware_ = false;
  nv12_input_ = false;
  awaiting_output_ = false;
}

void MfVideoEncoder::Shutdown() {
  if (transform_) {
    transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_END_OF_STREAM, 0);
    transform_->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0);
  }
  ReleaseTransform();
  gpu_converter_.Release();
  gpu_converter_enabled_ = false;
  initialized_ = false;
}

}  // namespace orvane
